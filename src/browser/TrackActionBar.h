#pragma once

// The actions on selected tracks: the bar in the library's header (a preview button with its
// title, then export and delete as icons) and the rules the tables' menu shares with it. Every
// action checks the store again before it acts, and the controls are enabled by the same tests,
// so they grey out while an import, export, edit or eject runs.
//
// Track ids come in table order, each once: "the first" is the first row shown.

#include "appmodel/MainViewState.h"
#include "library/Track.h"
#include "platform/AppLanguage.h"

#include <QFileDialog>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QWidget>

#include <optional>

class IPodStore;
class QAbstractButton;
class QCheckBox;

namespace TrackActionButtonStyle {
class ActionIcon;
}

class TrackActionBar : public QWidget {
    Q_OBJECT

public:
    explicit TrackActionBar(IPodStore& store, QWidget* parent = nullptr);

    // The selected tracks, in table order.
    void setTrackIDs(const QList<quint64>& ids);
    const QList<quint64>& trackIDs() const { return ids_; }

    QAbstractButton* previewButton() const;
    TrackActionButtonStyle::ActionIcon* exportButton() const { return export_; }
    TrackActionButtonStyle::ActionIcon* deleteButton() const { return delete_; }

    // The folder panel of an export of these tracks from the selected iPod; nothing while an
    // operation runs. Its answer starts the export with the tracks and device of now.
    void exportTracks(const QSet<quint64>& ids);
    QFileDialog* exportPanel() const { return exportPanel_; }
    // The panel's "Export WAV as lossless M4A with artwork".
    static QCheckBox* losslessOption(QFileDialog* panel);

    // The rules, shared with the tables' menu.
    static bool canPreview(const IPodStore& store, const QList<quint64>& ids);
    // The first track is the one previewing, and it plays.
    static bool isPreviewPlaying(const IPodStore& store, const QList<quint64>& ids);
    static bool canExport(const IPodStore& store, const QList<quint64>& ids);
    static bool canDelete(const IPodStore& store, const QList<quint64>& ids);
    // The library's track when exactly one id is given; a staged placeholder has none.
    static std::optional<Track> editedTrack(const IPodStore& store, const QList<quint64>& ids);
    static bool canSetStartTrack(const IPodStore& store, const QList<quint64>& ids);
    // The six default genres and the track's own, without the empty one, each once, sorted.
    static QStringList genreChoices(const QString& genre, AppLanguage language);
    // What "Edit Track Info" asks the editor for; none when it may not run now.
    static std::optional<TrackEditRequest>
    editRequest(const IPodStore& store, const QList<quint64>& ids, AppLanguage language);

Q_SIGNALS:
    // The delete button asks the window to confirm these tracks.
    void deleteRequested(const QSet<quint64>& ids);

protected:
    void changeEvent(QEvent* event) override;

private:
    class PreviewButton;

    void refresh();

    IPodStore& store_;
    QList<quint64> ids_;
    PreviewButton* preview_ = nullptr;
    TrackActionButtonStyle::ActionIcon* export_ = nullptr;
    TrackActionButtonStyle::ActionIcon* delete_ = nullptr;
    QPointer<QFileDialog> exportPanel_;
};

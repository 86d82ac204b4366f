#pragma once

// The content of the "Add Playlist" sheet: the playlist's name and, when tracks are offered, a
// search field, "Select All" / "Deselect All" for the tracks the search shows, and the table of
// offered tracks with their check boxes. Saving is possible only for a name that is not blank
// while the store can create playlists and the selected disk is still the request's device;
// that is re-evaluated whenever the store changes. Saving creates the playlist with the ticked
// tracks in the order they were offered.

#include "appmodel/MainViewState.h"

#include <QList>
#include <QString>
#include <QWidget>

class IPodStore;
class NewPlaylistTrackModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class NewPlaylistView : public QWidget {
    Q_OBJECT

public:
    NewPlaylistView(IPodStore& store, const NewPlaylistRequest& request, QWidget* parent = nullptr);

    const NewPlaylistRequest& request() const { return request_; }
    QString trimmedName() const;
    // The offered tracks the search shows, in their order.
    QList<Track> visibleTracks() const;
    // Every shown track is ticked; true when none is shown.
    bool allVisibleSelected() const;
    // The ticked tracks among all offered ones, in the order offered.
    QList<quint64> selectedTrackIDs() const;
    bool canSave() const;

    // Ticks the shown tracks, or unticks them when all of them are ticked; hidden ones keep
    // their state.
    void toggleSelectAll();
    // Asks the store to create the playlist; nothing unless canSave().
    void save();

    QLabel* heading() const { return heading_; }
    QLineEdit* nameField() const { return name_; }
    QLineEdit* searchField() const { return search_; }
    QPushButton* selectAllButton() const { return selectAll_; }
    QTableView* table() const { return table_; }
    NewPlaylistTrackModel* model() const { return model_; }
    QLabel* emptyLabel() const { return empty_; }

Q_SIGNALS:
    void canSaveChanged(bool canSave);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refreshRows();
    void refreshSelectAll();
    void refreshCanSave();
    void retranslate();

    IPodStore& store_;
    NewPlaylistRequest request_;
    bool lastCanSave_ = false;
    QLabel* heading_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* search_ = nullptr;
    QPushButton* selectAll_ = nullptr;
    QTableView* table_ = nullptr;
    NewPlaylistTrackModel* model_ = nullptr;
    QLabel* empty_ = nullptr;
};

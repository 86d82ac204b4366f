#pragma once

// The content of the "Edit Track Info" sheet: the five tags of one track in a form. "Split"
// shows while the title splits into artist and title; the empty album shows the album an import
// would write, but only while the field has no focus; the genre menu starts with "Not Set" (the
// empty genre). The values leave exactly as typed, untrimmed; the sheet around it saves them.

#include "library/TrackMetadata.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

class TrackMetadataEditor : public QWidget {
    Q_OBJECT

public:
    TrackMetadataEditor(const TrackMetadata& draft, const QList<QString>& genres,
                        QWidget* parent = nullptr);

    const TrackMetadata& draft() const { return draft_; }
    // Replaces the draft with its artist-title split; nothing when it gives none.
    void applySplit();

    QLabel* heading() const { return heading_; }
    QLineEdit* titleField() const { return title_; }
    QLineEdit* artistField() const { return artist_; }
    QLineEdit* albumField() const { return album_; }
    QLineEdit* albumArtistField() const { return albumArtist_; }
    QComboBox* genreMenu() const { return genre_; }
    QPushButton* splitButton() const { return split_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showDraft();
    void refreshSplit();
    void refreshAlbumPlaceholder();
    void retranslate();

    TrackMetadata draft_;
    QLabel* heading_ = nullptr;
    QFormLayout* form_ = nullptr;
    QLabel* labels_[5] = {}; // title, artist, album, album artist, genre
    QLineEdit* title_ = nullptr;
    QPushButton* split_ = nullptr;
    QLineEdit* artist_ = nullptr;
    QLineEdit* album_ = nullptr;
    QLineEdit* albumArtist_ = nullptr;
    QComboBox* genre_ = nullptr;
};

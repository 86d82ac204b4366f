#pragma once

// One playlist of the playlist browser: a button 82 high with a badge, the name and the
// "n tracks · duration" line, which opens the playlist; at its bottom right, when the library
// lets playlists move, two small buttons move it one place up or down.

#include <QAbstractButton>
#include <QString>

class QToolButton;

class PlaylistTile : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int tileHeight = 82;

    struct Content {
        quint64 playlistID = 0;
        QString name;    // as it is
        QString summary; // already localized
        bool showsMoveButtons = false;
        bool canMoveUp = false;
        bool canMoveDown = false;
    };

    explicit PlaylistTile(QWidget* parent = nullptr);

    void setContent(const Content& content);
    const Content& content() const { return content_; }
    QToolButton* moveUpButton() const { return up_; }
    QToolButton* moveDownButton() const { return down_; }
    // Where the texts stop short of the right edge: room for the move buttons when shown.
    int textTrailingPadding() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void moveRequested(bool up);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void retranslate();
    void placeMoveButtons();

    Content content_;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};

#pragma once

// The import area below the library: a dashed box with an arrow, a title and a caption that
// takes dropped audio files and, clicked, opens the import panel. A read-only library turns it
// into a solid box with a lock and the reason; a drag the store would take lights it up.

#include "device/IPodLibrary.h"
#include "platform/AppLanguage.h"

#include <QAbstractButton>
#include <QString>

#include <optional>

class QLabel;

class ImportDropArea : public QAbstractButton {
    Q_OBJECT

public:
    struct Content {
        std::optional<QString> readOnlyMessage; // as shown
        bool playlistsOnly = false;
        bool targeted = false;
        QString hint; // as shown

        bool operator==(const Content&) const = default;
    };

    // What the area shows for the library (none while loading or after a failed load), whether
    // the store can import now and whether a drag hovers over the area or the track table.
    static Content content(const std::optional<IPodLibrary>& library, bool canImport,
                           bool isOverDropZone, bool isOverTable, AppLanguage language);
    // A write-blocked library that has no import of its own takes no clicks at all.
    static bool isClickable(const std::optional<IPodLibrary>& library);
    static QString title(const Content& content, AppLanguage language);
    static QString caption(const Content& content, AppLanguage language);

    explicit ImportDropArea(QWidget* parent = nullptr);

    void setContent(const Content& content);
    const Content& content() const { return content_; }
    void setClickable(bool clickable);
    bool isClickable() const { return clickable_; }

    QString symbol() const;
    QColor borderColor() const;
    QColor fillColor() const;
    qreal borderWidth() const { return content_.targeted ? 1.5 : 1.0; }
    bool isDashed() const { return !content_.readOnlyMessage.has_value(); }
    QLabel* titleLabel() const { return title_; }
    QLabel* captionLabel() const { return caption_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    Content content_;
    bool clickable_ = true;
    QWidget* badge_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* caption_ = nullptr;
};

#pragma once

// The 600 × 400 picture the share button makes of a device: the device on a softly lit stage
// (its front alone, or front and back side by side), an optional engraving line, a thin rule,
// and the device's name and details beside the wordmark, on the dark background. The same
// painting serves the scaled preview and the exported image.

#include "artwork/StartupDeviceVector.h"
#include "showcase/StartupDeviceArtwork.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

struct DeviceShareCard {
    static constexpr double width = 600;
    static constexpr double height = 400;
    static constexpr double padding = 28;

    QString title;
    std::optional<QString> details;
    QString caption; // already trimmed; empty shows no engraving line
    std::optional<StartupDeviceArtwork> artwork;
    std::optional<StartupDeviceVector::Drawing> rearArtwork;

    // One line of text as the card sets it: its font (after any shrinking), its text (after any
    // cutting) and where it stands.
    struct Line {
        QFont font;
        QString text;
        QRectF rect;
    };

    struct Layout {
        QRectF content;
        QRectF stage;
        QRectF frontBox; // the space offered to the front; the artwork is fitted into it
        QRectF backBox;  // empty without a back
        QRectF front;
        QRectF back;
        std::optional<QRectF> engravingLine;
        Line caption;
        QRectF leftRule;
        QRectF rightRule;
        QRectF rule;
        QRectF infoRow;
        Line title;
        std::optional<Line> details;
        Line wordmark;
    };

    Layout layout() const;
    // Paints the card at the painter's origin in card units (600 × 400).
    void render(QPainter& painter) const;
    // The card at a scale (2 gives 1200 × 800 pixels), opaque.
    QImage image(double scale) const;

    // The card's fonts at a size in card units.
    static QFont font(double size, QFont::Weight weight, bool serif = false);
};

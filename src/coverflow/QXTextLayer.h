#pragma once

// A layer that draws one line of text in its bounds, y-up like every layer. Its preferred size
// is the text's width by the font's line height, whatever the text, so that a layer sized by it
// does not change height when the text goes empty.

#include "coverflow/QXLayer.h"

#include <QColor>
#include <QFont>
#include <QString>

class QXTextLayer : public QXLayer {
public:
    enum class AlignmentMode { natural, left, right, center, justified };

    static std::shared_ptr<QXTextLayer> create() { return std::make_shared<QXTextLayer>(); }
    QXTextLayer();

    QString string() const { return string_; }
    void setString(const QString& string);
    // The family and weight; the size is fontSize.
    QFont font() const { return font_; }
    void setFont(const QFont& font);
    double fontSize() const { return fontSize_; }
    // Non-positive and non-finite sizes are ignored.
    void setFontSize(double size);
    QColor foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(const QColor& color);
    AlignmentMode alignmentMode() const { return alignment_; }
    void setAlignmentMode(AlignmentMode mode);
    // Pixels per unit the text is drawn for; painting follows the painter's own device anyway.
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double scale) { contentsScale_ = scale; }

    // The font the text is drawn with: font() at fontSize pixels.
    QFont effectiveFont() const;
    std::optional<QSizeF> preferredFrameSize() const override;

protected:
    void paintContents(QPainter& painter, const double colorScale[3]) override;

private:
    void sizeMayHaveChanged();

    QString string_;
    QFont font_;
    double fontSize_ = 36;
    QColor foregroundColor_ = Qt::white;
    AlignmentMode alignment_ = AlignmentMode::natural;
    double contentsScale_ = 1;
};

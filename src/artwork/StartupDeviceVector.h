#pragma once

// The vector drawing of one iPod model, front or back, and the widget that fits it into the
// space it is given. Every length of a drawing is a fraction of one body rectangle; the same
// pure drawing paints on screen and into images.

#include "appmodel/StartupModel.h"
#include "appmodel/StartupSeries.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <optional>

class StartupDeviceVector : public QWidget {
    Q_OBJECT

public:
    // The geometry of one model's front, as fractions of the body rectangle.
    struct FrontLayout {
        double aspectRatio;
        double cornerRadius; // of body width
        double screenX;
        double screenY;
        double screenWidth;
        double screenHeight;
        bool hidesScreen;
        double wheelX;
        double wheelY;
        bool hidesWheel;
    };

    // What is drawn: a value that can be copied, changed and rendered anywhere.
    struct Drawing {
        Drawing(StartupSeries series, int generation, StartupModel::Finish finish,
                bool showsRear = false, std::optional<QString> rearCapacity = std::nullopt,
                std::optional<QString> rearEngraving = std::nullopt);

        StartupSeries series;
        int generation;
        StartupModel::Finish finish;
        bool showsRear;
        std::optional<QString> rearCapacity;
        std::optional<QString> rearEngraving;

        FrontLayout layout() const;
        // Width ÷ height of the canvas, for the front or the back.
        double aspectRatio() const;
        QColor bodyColor() const;

        // Paints on a canvas of the given logical size at the painter's origin; nothing when
        // the body rectangle would be empty. The painter is left as it was.
        void render(QPainter& painter, QSizeF size) const;
        // A transparent image of the drawing at a logical size and device pixel ratio.
        QImage image(QSizeF size, double devicePixelRatio = 1.0) const;

        // The rectangle every front and back is drawn in.
        static QRectF bodyRect(QSizeF size);

    private:
        void drawBody(QPainter& painter, const QRectF& body) const;
        void drawClassicBody(QPainter& painter, const QRectF& body) const;
        void drawSolidBody(QPainter& painter, const QRectF& body, const QPainterPath& bodyPath,
                           double bodyRadius) const;
        void drawScreen(QPainter& painter, const QRectF& screen) const;
        void drawClickWheel(QPainter& painter, double cx, double cy, double d) const;
        void drawTouchButtonRow(QPainter& painter, const QRectF& body) const;
        void drawRoundButton(QPainter& painter, const QRectF& body) const;
    };

    StartupDeviceVector(StartupSeries series, int generation, StartupModel::Finish finish,
                        bool showsRear = false, std::optional<QString> rearCapacity = std::nullopt,
                        std::optional<QString> rearEngraving = std::nullopt,
                        QWidget* parent = nullptr);
    explicit StartupDeviceVector(const Drawing& drawing, QWidget* parent = nullptr);

    const Drawing& drawing() const { return drawing_; }
    void setDrawing(const Drawing& drawing);

    StartupSeries series() const { return drawing_.series; }
    int generation() const { return drawing_.generation; }
    StartupModel::Finish finish() const { return drawing_.finish; }
    bool showsRear() const { return drawing_.showsRear; }
    void setShowsRear(bool showsRear);
    const std::optional<QString>& rearCapacity() const { return drawing_.rearCapacity; }
    void setRearCapacity(const std::optional<QString>& capacity);
    const std::optional<QString>& rearEngraving() const { return drawing_.rearEngraving; }
    void setRearEngraving(const std::optional<QString>& engraving);

    // The largest rectangle of the drawing's aspect ratio centred in the widget.
    QRectF canvasRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Drawing drawing_;
};

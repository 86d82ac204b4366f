#include "RecordingPaintDevice.h"

#include <QPainter>
#include <QTextItem>

#include <cmath>

class RecordingPaintEngine : public QPaintEngine {
public:
    RecordingPaintEngine()
        : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    Type type() const override { return QPaintEngine::User; }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {
    }
    void drawPath(const QPainterPath&) override { ++paths; }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { ++paths; }
    void drawRects(const QRectF*, int) override { ++paths; }

    void drawTextItem(const QPointF& point, const QTextItem& item) override {
        const QTransform transform = painter()->deviceTransform();
        const double scale = std::sqrt(std::abs(transform.determinant()));
        const QFont font = item.font();
        const double size =
            font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
        texts.push_back({item.text(), size * scale,
                         transform.map(point + QPointF(item.width() / 2, 0)), font.weight(),
                         font.family()});
    }

    std::vector<RecordedText> texts;
    int paths = 0;
};

RecordingPaintDevice::RecordingPaintDevice(int width, int height)
    : width_(width)
    , height_(height)
    , engine_(std::make_unique<RecordingPaintEngine>()) {
}

RecordingPaintDevice::~RecordingPaintDevice() = default;

QPaintEngine* RecordingPaintDevice::paintEngine() const {
    return engine_.get();
}

const std::vector<RecordedText>& RecordingPaintDevice::texts() const {
    return engine_->texts;
}

QStringList RecordingPaintDevice::textStrings() const {
    QStringList list;
    for (const RecordedText& t : engine_->texts)
        list.append(t.text);
    return list;
}

bool RecordingPaintDevice::hasText(const QString& text) const {
    return textStrings().contains(text);
}

int RecordingPaintDevice::paths() const {
    return engine_->paths;
}

void RecordingPaintDevice::clear() {
    engine_->texts.clear();
    engine_->paths = 0;
}

int RecordingPaintDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
        return width_;
    case PdmHeight:
        return height_;
    case PdmWidthMM:
        return width_ * 254 / 960;
    case PdmHeightMM:
        return height_ * 254 / 960;
    case PdmNumColors:
        return INT_MAX;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return 96;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return 0;
}

#include "ArtworkTestSupport.h"

#include <QPainter>

#include <cmath>
#include <cstdlib>

namespace ArtworkTest {

std::vector<Drawing> catalogueDrawings(bool rear) {
    std::vector<Drawing> drawings;
    for (StartupSeries series : StartupSeries::allCases()) {
        const auto& models = series.models();
        for (std::size_t g = 0; g < models.size(); ++g)
            for (StartupModel::Finish finish : models[g].finishes)
                drawings.emplace_back(series, int(g), finish, rear);
    }
    return drawings;
}

QString describe(const Drawing& d) {
    return QStringLiteral("%1 %2 %3 %4")
        .arg(d.series.rawValue())
        .arg(d.generation)
        .arg(d.finish.rawValue(), d.showsRear ? QStringLiteral("back") : QStringLiteral("front"));
}

QSizeF canvasSize(const Drawing& drawing, double height) {
    return QSizeF(std::round(drawing.aspectRatio() * height), height);
}

QImage render(const Drawing& drawing, double height, double ratio) {
    return drawing.image(canvasSize(drawing, height), ratio);
}

QRect alphaBounds(const QImage& image, int threshold) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) > threshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

bool isFullyTransparent(const QImage& image) {
    return alphaBounds(image, 0).isEmpty();
}

QRect colourBounds(const QImage& image, QRgb colour, int tolerance) {
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    int left = plain.width(), top = plain.height(), right = -1, bottom = -1;
    for (int y = 0; y < plain.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(plain.constScanLine(y));
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) > 200 && std::abs(qRed(p) - qRed(colour)) <= tolerance &&
                std::abs(qGreen(p) - qGreen(colour)) <= tolerance &&
                std::abs(qBlue(p) - qBlue(colour)) <= tolerance) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void record(const Drawing& drawing, QSizeF size, RecordingPaintDevice& device) {
    device.clear();
    QPainter painter(&device);
    drawing.render(painter, size);
}

} // namespace ArtworkTest

#include "showcase/StartupDeviceArtwork.h"

#include "artwork/DeviceArt.h"
#include "artwork/StartupDeviceVector.h"

#include <cmath>

double StartupDeviceArtwork::aspectRatio() const {
    if (image && !image->isNull() && image->height() > 0)
        return double(image->width()) / image->height();
    return StartupDeviceVector::Drawing(series, generation, finish).aspectRatio();
}

QRectF StartupDeviceArtwork::fittedRect(const QRectF& box) const {
    if (!frame)
        return DeviceArt::aspectFitted(box, aspectRatio());
    const QSizeF size = frame->boundedTo(box.size());
    const QRectF framed(box.center() - QPointF(size.width() / 2, size.height() / 2), size);
    return DeviceArt::aspectFitted(framed, aspectRatio());
}

void StartupDeviceArtwork::render(QPainter& painter, const QRectF& box) const {
    const QRectF target = fittedRect(box);
    if (target.isEmpty())
        return;
    painter.save();
    if (image && !image->isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *image);
    } else {
        painter.translate(target.topLeft());
        StartupDeviceVector::Drawing(series, generation, finish).render(painter, target.size());
    }
    painter.restore();
}

QImage StartupDeviceArtwork::rendered(double height, double devicePixelRatio) const {
    const QSizeF size(height * aspectRatio(), height);
    const QSize pixels(std::max(1, int(std::ceil(size.width() * devicePixelRatio))),
                       std::max(1, int(std::ceil(size.height() * devicePixelRatio))));
    QImage out(pixels, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(devicePixelRatio);
    out.fill(Qt::transparent);
    if (height > 0) {
        QPainter painter(&out);
        painter.setRenderHint(QPainter::Antialiasing);
        render(painter, QRectF(QPointF(0, 0), size));
    }
    return out;
}

#include "showcase/DeviceShareImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QLocale>
#include <QMimeData>
#include <QSaveFile>

namespace DeviceShareImage {

std::optional<QByteArray> renderPNG(const DeviceShareCard& card) {
    const QImage image = card.image(scale);
    if (image.isNull())
        return std::nullopt;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    if (!writer.write(image) || png.isEmpty())
        return std::nullopt;
    return png;
}

QString proposedFileName(const QDateTime& now, const QUuid& id) {
    // The C locale writes Gregorian dates with ASCII digits and a 24-hour clock.
    const QString stamp =
        QLocale::c().toString(now.toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    const QString unique = id.toString(QUuid::WithoutBraces).left(8).toUpper();
    return QStringLiteral("Lorvanel-%1-%2.png").arg(stamp, unique);
}

QString proposedFileName() {
    return proposedFileName(QDateTime::currentDateTime(), QUuid::createUuid());
}

std::optional<QString> write(const QString& path, const QByteArray& data) {
    // The new content goes to a temporary file beside the target, renamed over it only when
    // complete; a failed write removes the temporary file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(data) != data.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        file.commit();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

QMimeData* clipboardData(const QByteArray& png) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), png);
    const QImage image = QImage::fromData(png, "PNG");
    if (!image.isNull()) {
        QByteArray tiff;
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::WriteOnly);
        if (QImageWriter(&buffer, "TIFF").write(image) && !tiff.isEmpty())
            data->setData(QStringLiteral("image/tiff"), tiff);
    }
    return data;
}

} // namespace DeviceShareImage

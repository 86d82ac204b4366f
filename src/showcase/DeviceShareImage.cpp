#include "showcase/DeviceShareImage.h"

#include "platform/AppLanguage.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLocale>
#include <QMimeData>
#include <QSaveFile>
#include <QStorageInfo>

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

namespace {

QString notEnoughSpace() {
    return localizedString(LZ("There is not enough free space on the disk."),
                           AppLanguages::stored());
}

// Qt sets no error when the disk fills up after part of a write went through ("Unknown error"
// when flushing), and gives the system's untranslated text when it fills up before; the space
// left on the volume tells the rest.
QString writeError(const QSaveFile& file, const QString& path, qint64 needed, bool shortWrite) {
    if (file.error() == QFileDevice::ResourceError ||
        (shortWrite && file.error() == QFileDevice::NoError))
        return notEnoughSpace();
    const QStorageInfo volume(QFileInfo(path).absolutePath());
    if (volume.isValid() && volume.bytesAvailable() >= 0 && volume.bytesAvailable() < needed)
        return notEnoughSpace();
    return file.errorString();
}

} // namespace

std::optional<QString> write(const QString& path, const QByteArray& data) {
    // The new content goes to a temporary file beside the target, renamed over it only when
    // complete; a failed write removes the temporary file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(data) != data.size()) {
        const QString error = writeError(file, path, data.size(), true);
        file.cancelWriting();
        file.commit();
        return error;
    }
    if (!file.commit())
        return writeError(file, path, data.size(), false);
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

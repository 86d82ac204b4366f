#include "coverflow/QXQuickLookImageDecoder.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXNSDataImageDecoder.h"
#include "coverflow/QXPDFPageDecoder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QPdfDocument>
#include <QStandardPaths>

QXQuickLookImageDecoder::QXQuickLookImageDecoder(const QVariant& item, std::uint64_t maxPixelSize)
    : maxPixelSize_(maxPixelSize) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(maxPixelSize > 0, "maxPixelSize > 0");
    QX_PRECONDITION(item.metaType() == QMetaType::fromType<QUrl>() ||
                        item.metaType() == QMetaType::fromType<QString>(),
                    "anItem is a QUrl or a QString path");
    url_ = urlForItem(item);
    if (!url_.isValid() || url_.isEmpty())
        throw QXInvalidParameter("anItem must be a url or string path");
}

QUrl QXQuickLookImageDecoder::urlForItem(const QVariant& item) {
    if (item.metaType() == QMetaType::fromType<QUrl>())
        return item.toUrl();
    const QString path = item.toString();
    if (path.isEmpty())
        return {};
    const QUrl url = QUrl::fromLocalFile(path);
    return url.isLocalFile() ? url : QUrl();
}

QImage QXQuickLookImageDecoder::cgImage() {
    if (decoded)
        return imageRef;
    decoded = true;
    const std::uint64_t size = maxPixelSize_ ? maxPixelSize_ : 4000;
    if (!url_.isLocalFile())
        return {};
    const QString path = url_.toLocalFile();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        imageRef = QXNSDataImageDecoder::thumbnail(&file, size, true);
        file.close();
    }
    if (imageRef.isNull() &&
        QMimeDatabase().mimeTypeForFile(path).inherits(QStringLiteral("application/pdf"))) {
        auto document = std::make_shared<QPdfDocument>();
        if (document->load(path) == QPdfDocument::Error::None && document->pageCount() > 0) {
            QXPDFPageRenderer renderer({document, 0});
            renderer.setImageSize(QSizeF(double(size), double(size)));
            imageRef = renderer.imageRepresentation();
        }
    }
    if (imageRef.isNull())
        imageRef = cachedThumbnail(size);
    return imageRef;
}

QImage QXQuickLookImageDecoder::cachedThumbnail(std::uint64_t size) const {
    // The shared thumbnail cache: only an entry made for this file as it is now counts.
    const QFileInfo info(url_.toLocalFile());
    if (!info.exists())
        return {};
    const QByteArray uri = url_.toEncoded();
    const QString name =
        QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
        QStringLiteral(".png");
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                         QStringLiteral("/thumbnails/");
    const std::pair<const char*, std::uint64_t> folders[] = {
        {"normal", 128}, {"large", 256}, {"x-large", 512}, {"xx-large", 1024}};
    QImage best;
    for (const auto& [folder, pixels] : folders) {
        QImageReader reader(base + QLatin1String(folder) + QLatin1Char('/') + name);
        const QImage candidate = reader.read();
        if (candidate.isNull() ||
            candidate.text(QStringLiteral("Thumb::URI")) != QString::fromUtf8(uri))
            continue;
        const QString mtime = candidate.text(QStringLiteral("Thumb::MTime"));
        if (mtime != QString::number(info.lastModified().toSecsSinceEpoch()))
            continue;
        best = candidate;
        if (pixels >= size)
            break;
    }
    return QXNSDataImageDecoder::thumbnail(best, size);
}

QImage QXQuickLookImageDecoder::image() {
    return url_.isLocalFile() ? QImage(url_.toLocalFile()) : QImage();
}

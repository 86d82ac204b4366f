#include "app/DeviceIcon.h"

#include "appmodel/LorvPalette.h"
#include "appmodel/MainViewState.h"
#include "appmodel/StartupSeries.h"
#include "artwork/DeviceArt.h"
#include "browser/SymbolIcon.h"
#include "platform/OwnedFd.h"
#include "platform/Task.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

namespace DeviceIcon {

QImage croppedDeviceImage(const QImage& image) {
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    int left = pixels.width(), top = pixels.height(), right = -1, bottom = -1;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (qAlpha(row[x]) < 96)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0)
        return image;
    // The width sets the margin on all four sides.
    const double margin = pixels.width() / 128.0;
    const int x0 = int(std::floor(left - margin));
    const int y0 = int(std::floor(top - margin));
    const int x1 = int(std::ceil(right + 1 + margin));
    const int y1 = int(std::ceil(bottom + 1 + margin));
    const QRect box = QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)).intersected(pixels.rect());
    return box.isEmpty() ? image : image.copy(box);
}

std::optional<QImage> readVolumeIcon(const QString& mountPoint) {
    // Not following a link, and not waiting on a FIFO or a device node placed there.
    OwnedFd fd;
    try {
        fd = OwnedFd::open(mountPoint + u'/' + volumeIconFile,
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        info.st_size > maximumVolumeIconBytes)
        return std::nullopt;
    QByteArray bytes;
    try {
        // One byte more than allowed shows a file that grew since.
        bytes = fd.readUpTo(maximumVolumeIconBytes + 1);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    if (bytes.size() > maximumVolumeIconBytes)
        return std::nullopt;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "icns");
    QImage largest;
    do {
        const QImage image = reader.read();
        if (!image.isNull() &&
            qint64(image.width()) * image.height() > qint64(largest.width()) * largest.height())
            largest = image;
    } while (reader.jumpToNextImage());
    if (largest.isNull())
        return std::nullopt;
    return croppedDeviceImage(largest);
}

QString symbolName(const std::optional<IPodModel>& model) {
    return model && model->family == IPodModel::Family::shuffle ? QStringLiteral("ipodshuffle.gen2")
                                                                : QStringLiteral("ipod");
}

QPixmap symbolPixmap(const QString& symbol, int size, qreal devicePixelRatio) {
    return SymbolIcon::pixmap(symbol, size, LorvPalette::fog(), devicePixelRatio);
}

std::optional<StartupDeviceArtwork> symbolArtwork(const QString& symbol) {
    // Four pixels a point: the exported card is drawn at twice its size.
    constexpr double scale = 4;
    const QSize pixels = (symbolFrame * scale).toSize();
    const QPixmap shape = SymbolIcon::pixmap(symbol, pixels.height(), Qt::white);
    if (shape.isNull())
        return std::nullopt;
    // The symbol's own margins are cut away so that the drawing itself fills the frame.
    const QImage drawing = croppedDeviceImage(shape.toImage());
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(symbolOpacity);
    painter.drawImage(
        DeviceArt::aspectFitted(QRectF(image.rect()), double(drawing.width()) / drawing.height()),
        drawing);
    painter.end();
    // The series and finish only matter without an image.
    return StartupDeviceArtwork{image, StartupSeries::classic, 0, StartupModel::Finish::silver,
                                symbolFrame};
}

std::optional<StartupDeviceArtwork> artwork(const IPodDevice& device,
                                            const std::optional<IPodModel>& model) {
    if (!model)
        return std::nullopt;
    const StartupSeries series = seriesForFamily(model->family);
    const int generation = model->generationNumber - 1;
    // A generation outside the catalogue has nothing to draw.
    const StartupModel* entry = series.model(generation);
    if (!entry || entry->finishes.empty())
        return std::nullopt;
    const QStringList pieces = model->iconName.split(u'-', Qt::SkipEmptyParts);
    const auto named =
        pieces.isEmpty() ? std::nullopt : StartupModel::Finish::fromRawValue(pieces.last());
    StartupDeviceArtwork out{std::nullopt, series, generation,
                             named ? *named : entry->finishes.front()};
    if (model->iconName == volumeIconModel)
        out.image = VolumeIconCache::shared().icon(device);
    return out;
}

// MARK: cache

VolumeIconCache& VolumeIconCache::shared() {
    static VolumeIconCache* cache = new VolumeIconCache;
    return *cache;
}

std::optional<QImage> VolumeIconCache::icon(const IPodDevice& device) {
    const auto found = icons_.constFind(device.id);
    if (found != icons_.cend())
        return *found;
    if (reading_.contains(device.id))
        return std::nullopt;
    reading_.insert(device.id);
    ++reads_;
    Task::run(
        TaskPriority::utility, this, [path = device.mountPoint] { return readVolumeIcon(path); },
        [this, id = device.id](std::optional<std::optional<QImage>> result, std::exception_ptr) {
            reading_.remove(id);
            icons_.insert(id, result ? *result : std::nullopt);
            Q_EMIT iconRead(id);
        });
    return std::nullopt;
}

} // namespace DeviceIcon

#pragma once

// The picture of a mounted iPod in the library header and on its share card. This system has no
// device pictures of its own platform, so a model is drawn by the device artwork; only the one
// model whose volumes carry their own icon (".VolumeIcon.icns") shows that icon once it has been
// read. Without a model, or for a generation the catalogue does not list, the views fall back to
// a symbol.
//
// The volume icon lies on a device that may be slow, damaged or hostile, so it is read in the
// background, only from a regular file of bounded size, once per volume, and cropped to its
// opaque content.

#include "device/IPodDevice.h"
#include "library/IPodModel.h"
#include "showcase/StartupDeviceArtwork.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QSizeF>
#include <QString>

#include <optional>

namespace DeviceIcon {

// The icon name of the model whose volume carries its own icon.
inline const QString volumeIconModel = QStringLiteral("iPod9-Silver");
inline const QString volumeIconFile = QStringLiteral(".VolumeIcon.icns");
// Larger files are not read at all.
inline constexpr qint64 maximumVolumeIconBytes = 4 * 1024 * 1024;

// The image cut down to its opaque content: pixels with alpha 96 or more, with a margin of
// width / 128 on every side, rounded outward and kept within the image. An image without such
// pixels is returned whole.
QImage croppedDeviceImage(const QImage& image);

// The largest picture of the volume's icon file, cropped; none when there is no regular file of
// at most maximumVolumeIconBytes there, or it does not decode. Blocking: background use only.
std::optional<QImage> readVolumeIcon(const QString& mountPoint);

// The symbol that stands in for a missing picture.
QString symbolName(const std::optional<IPodModel>& model);

// A device symbol as the library and iPod touch headers draw it: fog on the dark surfaces.
QPixmap symbolPixmap(const QString& symbol, int size, qreal devicePixelRatio = 1.0);
// The frame of the symbol on the share card, where it stands in for the device.
inline constexpr QSizeF symbolFrame(140, 182);
inline constexpr double symbolOpacity = 0.85;
// The same symbol as a picture for the share card: white at symbolOpacity, fitted into
// symbolFrame (which it keeps on the card), sharp enough for the exported image; none when there
// is no such symbol.
std::optional<StartupDeviceArtwork> symbolArtwork(const QString& symbol);

// What stands for the device: its volume icon when it has one and it has been read, else the
// drawing of its model; none without a model or for a generation the catalogue does not list.
std::optional<StartupDeviceArtwork> artwork(const IPodDevice& device,
                                            const std::optional<IPodModel>& model);

// The volume icons read so far, one read per volume; lives on the main thread.
class VolumeIconCache : public QObject {
    Q_OBJECT

public:
    static VolumeIconCache& shared();

    // The volume's icon once read (none when it has none); starts its one read otherwise.
    std::optional<QImage> icon(const IPodDevice& device);
    // Whether the volume's read has finished.
    bool hasRead(const IPodDevice::ID& id) const { return icons_.contains(id); }
    // Reads started in this run.
    int readCount() const { return reads_; }

Q_SIGNALS:
    void iconRead(const IPodDevice::ID& id);

private:
    VolumeIconCache() = default;

    QHash<IPodDevice::ID, std::optional<QImage>> icons_;
    QSet<IPodDevice::ID> reading_;
    int reads_ = 0;
};

} // namespace DeviceIcon

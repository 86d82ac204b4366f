// The device picture: the opaque-content crop, and the volume icon read from a mounted iPod,
// which must never block on what lies at its path, read a huge file, or be read twice.

#include "app/DeviceIcon.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

using namespace DeviceIcon;

namespace {

QImage transparent(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// An icon file with one 128 × 128 picture whose opaque square spans columns and rows 32-95.
QByteArray icnsBytes() {
    QImage image = transparent(128, 128);
    for (int y = 32; y < 96; ++y)
        for (int x = 32; x < 96; ++x)
            image.setPixelColor(x, y, QColor(200, 200, 200, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "icns");
    EXPECT_TRUE(writer.write(image)) << qPrintable(writer.errorString());
    return bytes;
}

IPodDevice volumeAt(const QString& path, quint64 inode) {
    IPodDevice device;
    device.id.path = path;
    device.id.inode = inode;
    device.mountPoint = path;
    return device;
}

} // namespace

TEST(DeviceIcon, CropKeepsTheOpaqueBoxWithAMarginOfAHundredTwentyEighthOfTheWidth) {
    QImage image = transparent(256, 100);
    for (int y = 40; y < 60; ++y)
        for (int x = 10; x < 200; ++x)
            image.setPixelColor(x, y, QColor(0, 0, 0, 96));
    const QImage cropped = croppedDeviceImage(image);
    // Columns 10-199 grown by 2 on each side; rows 40-59 grown by the same 2.
    EXPECT_EQ(cropped.size(), QSize(194, 24));
    EXPECT_EQ(cropped.pixelColor(2, 2).alpha(), 96);
    EXPECT_EQ(cropped.pixelColor(1, 1).alpha(), 0);

    // Pixels of alpha 95 are not opaque: nothing to cut, the whole image stays.
    QImage faint = transparent(64, 64);
    faint.setPixelColor(5, 5, QColor(0, 0, 0, 95));
    EXPECT_EQ(croppedDeviceImage(faint).size(), QSize(64, 64));
    EXPECT_EQ(croppedDeviceImage(transparent(32, 16)).size(), QSize(32, 16));

    // A box at the border is kept within the image.
    QImage corner = transparent(128, 128);
    corner.setPixelColor(0, 0, Qt::white);
    EXPECT_EQ(croppedDeviceImage(corner).size(), QSize(2, 2));
}

TEST(DeviceIcon, ReadsOnlyARegularIconFileOfBoundedSize) {
    QTemporaryDir volume;
    ASSERT_TRUE(volume.isValid());
    const QString path = volume.path() + QLatin1Char('/') + volumeIconFile;
    EXPECT_EQ(readVolumeIcon(volume.path()), std::nullopt);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(icnsBytes());
    file.close();
    const std::optional<QImage> icon = readVolumeIcon(volume.path());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), QSize(66, 66)); // 64 opaque pixels and a margin of 1 each side

    // A FIFO would block a reader that opened it without care; here it is simply no icon.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(readVolumeIcon(volume.path()), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    // A file larger than allowed is not read at all (sparse, so it costs no space).
    ASSERT_TRUE(QFile::remove(path));
    QFile huge(path);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(icnsBytes());
    ASSERT_TRUE(huge.resize(maximumVolumeIconBytes + 1));
    huge.close();
    EXPECT_EQ(readVolumeIcon(volume.path()), std::nullopt);

    // A link is not followed, even to a good icon; garbage does not decode.
    ASSERT_TRUE(QFile::remove(path));
    QFile good(volume.path() + QStringLiteral("/good.icns"));
    ASSERT_TRUE(good.open(QIODevice::WriteOnly));
    good.write(icnsBytes());
    good.close();
    ASSERT_TRUE(QFile::link(good.fileName(), path));
    EXPECT_EQ(readVolumeIcon(volume.path()), std::nullopt);
    ASSERT_TRUE(QFile::remove(path));
    QFile junk(path);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    EXPECT_EQ(readVolumeIcon(volume.path()), std::nullopt);
}

TEST(DeviceIcon, EachVolumeIsReadOnceInTheBackgroundAndOnlyForTheModelThatHasAnIcon) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.path() + QLatin1Char('/') + volumeIconFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(icnsBytes());
    file.close();

    IPodModel nano;
    nano.family = IPodModel::Family::nano;
    nano.generationNumber = 2;
    nano.iconName = volumeIconModel;
    VolumeIconCache& cache = VolumeIconCache::shared();
    const IPodDevice device = volumeAt(folder.path(), 4242);
    const int reads = cache.readCount();

    // Until the read is done the model's drawing stands in.
    const std::optional<StartupDeviceArtwork> first = artwork(device, nano);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->image);
    EXPECT_EQ(first->series, StartupSeries::nano);
    EXPECT_EQ(first->generation, 1);
    EXPECT_EQ(first->finish, StartupModel::Finish::silver);
    EXPECT_FALSE(artwork(device, nano)->image);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return cache.hasRead(device.id); }));
    ASSERT_TRUE(artwork(device, nano)->image);
    EXPECT_EQ(artwork(device, nano)->image->size(), QSize(66, 66));
    EXPECT_EQ(cache.readCount(), reads + 1);

    // Another volume at the same path is another read; a model without an icon reads nothing.
    EXPECT_FALSE(artwork(volumeAt(folder.path(), 4243), nano)->image);
    EXPECT_EQ(cache.readCount(), reads + 2);
    IPodModel other = nano;
    other.iconName = QStringLiteral("iPod9-Black");
    EXPECT_FALSE(artwork(volumeAt(folder.path(), 4244), other)->image);
    EXPECT_EQ(artwork(volumeAt(folder.path(), 4244), other)->finish, StartupModel::Finish::black);
    EXPECT_EQ(cache.readCount(), reads + 2);

    // No model, or a generation the catalogue does not list: nothing to draw, only the symbol.
    EXPECT_FALSE(artwork(device, std::nullopt));
    other.generationNumber = 42;
    EXPECT_FALSE(artwork(device, other));
    EXPECT_EQ(symbolName(std::nullopt), QStringLiteral("ipod"));
    IPodModel shuffle = nano;
    shuffle.family = IPodModel::Family::shuffle;
    EXPECT_EQ(symbolName(shuffle), QStringLiteral("ipodshuffle.gen2"));
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return cache.hasRead(volumeAt(folder.path(), 4243).id); }));
}

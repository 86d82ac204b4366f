#pragma once

// Real volumes for the device tests: tmpfs and loop-mounted ext4 images (root only).

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace TestVolumes {

// Empty when the tests may mount; otherwise why not (for GTEST_SKIP).
QString whyMountsAreUnavailable();

// The same for loop-mounted images, which need the real root: a user namespace's root may mount
// tmpfs but set up no loop device.
QString whyLoopImagesAreUnavailable();

// Runs a command line tool; true when it exits with 0.
bool run(const QString& program, const QStringList& arguments, QString* output = nullptr);

// A mount that is undone when the object goes.
class Mount {
public:
    ~Mount();
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;

    static std::unique_ptr<Mount> tmpfs(const QString& path, const QString& options = {});
    // Mounts an image file through a loop device; loopDevice picks a given one (or any free).
    static std::unique_ptr<Mount> image(const QString& imagePath, const QString& path,
                                        const QString& loopDevice = {});

    bool remount(const QString& options);
    // Unmounts now (and detaches the loop device); false when that failed.
    bool unmount();
    QString loopDevice() const { return loop; }
    QString path() const { return mountPath; }

private:
    Mount() = default;
    QString mountPath;
    QString loop;
    bool mounted = false;
};

// A fresh ext4 image of a few MiB with an iPod_Control folder.
bool makeExt4Image(const QString& imagePath);

// Lays out the folders that make a volume an iPod.
bool makeIPodTree(const QString& mountPath);

// Fills the volume holding folder until at most `left` bytes stay free; the filler's path.
QString fillVolume(const QString& folder, qint64 left);

} // namespace TestVolumes

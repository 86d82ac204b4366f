#pragma once

// A fresh FAT file system in an image file mounted through fusefat (the kernel here has no
// vfat driver), unmounted again when the object goes.
//
//     TestSupport::FatStick stick(dir.filePath("stick"), 16);
//     if (!stick.mounted())
//         GTEST_SKIP() << stick.skipReason().toStdString();

#include <QString>
#include <QStringList>

namespace TestSupport {

// Runs a program with its output discarded; true when it exits with 0.
bool runQuietly(const QString& program, const QStringList& arguments);

class FatStick {
public:
    // The image goes next to mountPoint ("<mountPoint>.img"); sizeMiB of at least 8.
    FatStick(const QString& mountPoint, int sizeMiB);
    ~FatStick();
    FatStick(const FatStick&) = delete;
    FatStick& operator=(const FatStick&) = delete;

    bool mounted() const { return mounted_; }
    const QString& skipReason() const { return skipReason_; }
    const QString& mountPoint() const { return mountPoint_; }

private:
    QString mountPoint_;
    QString skipReason_;
    bool mounted_ = false;
};

} // namespace TestSupport

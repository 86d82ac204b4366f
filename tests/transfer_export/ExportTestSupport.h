#pragma once

// Real iPod volumes holding real audio for the rewrite and export tests, with the checks that
// compare what FFmpeg decodes or demuxes from two files.

#include "support/AudioFixtures.h"
#include "support/IPodVolume.h"
#include "transfer/MountHelpers.h"
#include "transfer/TransferDevice.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace ExportTest {

// The MD5 of what ffmpeg decodes from the file's audio, or (packets) of its audio packets
// copied without decoding; empty on failure.
QByteArray audioMD5(const QString& path, bool packets = false);

QByteArray readAll(const QString& path);
void writeAll(const QString& path, const QByteArray& bytes);

// The device of an iPod volume as the transfer sees it.
TransferDevice deviceAt(const QString& mountPoint);

// A test with a scratch folder and a nano (second generation, with artwork) volume on a file
// system of its own (a tmpfs), as a real iPod is. Needs root.
class Fixture : public ::testing::Test {
protected:
    void SetUp() override;
    QString path(const QString& name) const { return dir.filePath(name); }
    // A tone made by ffmpeg in the scratch folder.
    QString tone(const QString& name, const TestSupport::ToneSpec& spec);
    static TestSupport::ToneSpec spec(const QString& codec, double seconds = 1.0);
    // A track whose file is a copy of source (its extension taken from it).
    int addTrack(const QString& title, const QString& source, const QString& album = {},
                 bool artwork = false);
    void write() { volume->write(); }
    QString fileOf(int index) const { return volume->path(volume->trackFile(index)); }
    QString cover(const QString& colour = QStringLiteral("red"));

    QTemporaryDir dir;
    std::unique_ptr<TmpfsMount> ipodFileSystem;
    std::unique_ptr<TestSupport::IPodVolume> volume;
};

} // namespace ExportTest

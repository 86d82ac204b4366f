#include "ExportTestSupport.h"

#include "platform/Task.h"
#include "support/EventLoop.h"
#include "support/FatStick.h"
#include "transfer/ExportTracks.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/WaveInfoWriter.h"

#include <QImage>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <sys/mount.h>
#include <unistd.h>

using namespace ExportTest;
using namespace IPodTransfer;

namespace {

class ExportTracks : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        if (IsSkipped())
            return;
        destination = path(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(destination));
    }
    QStringList run(const QSet<quint64>& ids, bool lossless = false, const QString& folder = {}) {
        return exportTracks(ids, deviceAt(volume->mountPoint()),
                            folder.isEmpty() ? destination : folder, lossless,
                            [this](const ImportProgress& p) { reports.append(p); });
    }
    QStringList exported(const QString& folder = {}) const {
        return QDir(folder.isEmpty() ? destination : folder)
            .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QSet<quint64> ids(std::initializer_list<int> indexes) const {
        QSet<quint64> out;
        for (int i : indexes)
            out.insert(volume->trackID(i));
        return out;
    }
    QString destination;
    QList<ImportProgress> reports;
};

} // namespace

TEST_F(ExportTracks, RefusesFoldersOnTheIPodBeforeWritingAnything) {
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), spec("mp3")));
    write();
    const QString mount = volume->mountPoint();
    const QString inside = volume->path(QStringLiteral("Exports"));
    ASSERT_TRUE(QDir().mkpath(inside));
    const QString link = path(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(inside, link));
    const auto before = TestSupport::snapshotTree(mount);

    for (const QString& folder : {mount, inside, link}) {
        EXPECT_THROW(run(ids({song}), false, folder), ExportDestinationError)
            << folder.toStdString();
    }
    // The same file system under another path (a bind mount) is the iPod as well.
    const QString bind = path(QStringLiteral("bind"));
    ASSERT_TRUE(QDir().mkpath(bind));
    ASSERT_EQ(::mount(QFile::encodeName(inside).constData(), QFile::encodeName(bind).constData(),
                      nullptr, MS_BIND, nullptr),
              0);
    EXPECT_THROW(run(ids({song}), false, bind), ExportDestinationError);
    ::umount2(QFile::encodeName(bind).constData(), MNT_DETACH);

    EXPECT_TRUE(TestSupport::differences(before, TestSupport::snapshotTree(mount)).isEmpty());
    try {
        run(ids({song}), false, mount);
    } catch (const ExportDestinationError& e) {
        EXPECT_EQ(e.description(AppLanguage::english),
                  QStringLiteral("Choose an export folder outside the iPod."));
    }
}

TEST_F(ExportTracks, ZeroTracksLeaveNoWorkFolder) {
    write();
    EXPECT_TRUE(run({}).isEmpty());
    EXPECT_TRUE(exported().isEmpty()) << exported().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(ExportTracks, CleansNamesNumbersCollisionsAndReportsMissingFiles) {
    const QString mp3 = tone(QStringLiteral("a.mp3"), spec("mp3"));
    const int unsafe =
        addTrack(QStringLiteral(" AC/DC: \"Live\" <Mix>? \t*|\\. "), mp3, QStringLiteral("Album"));
    const int missing = addTrack(QStringLiteral("Gone"), mp3, QStringLiteral("Album"));
    const int plain = addTrack(QStringLiteral("Plain"), mp3, QStringLiteral("Album"));
    write();
    volume->removeFile(volume->trackFile(missing));

    const QStringList failures = run(ids({unsafe, missing, plain}));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].startsWith(QStringLiteral("Gone \u2014 ")))
        << failures[0].toStdString();
    EXPECT_GT(failures[0].size(), QStringLiteral("Gone \u2014 ").size());
    const QString cleaned = QStringLiteral("AC-DC- -Live- -Mix-- ----");
    EXPECT_EQ(exported(),
              QStringList({cleaned + QStringLiteral(".mp3"), QStringLiteral("Plain.mp3")}));

    // Exporting again keeps the first files and numbers the new ones.
    EXPECT_TRUE(run(ids({unsafe, plain})).isEmpty());
    EXPECT_EQ(exported(),
              QStringList({cleaned + QStringLiteral(" (2).mp3"), cleaned + QStringLiteral(".mp3"),
                           QStringLiteral("Plain (2).mp3"), QStringLiteral("Plain.mp3")}));

    // Progress: one report per track at its start, then the copy's shares, fileIndex 1-based.
    ASSERT_FALSE(reports.isEmpty());
    for (const ImportProgress& p : reports) {
        EXPECT_EQ(p.stage, ImportStage::exportingSongs);
        ASSERT_TRUE(p.fileIndex);
        EXPECT_GE(p.fraction, (*p.fileIndex - 1) / double(p.fileCount));
        EXPECT_LE(p.fraction, *p.fileIndex / double(p.fileCount) + 1e-9);
    }
}

TEST_F(ExportTracks, AddsWhatTheFileLacksAndKeepsItsAudio) {
    // A bare MP3 without album and picture, of a track without album or artwork.
    const QString bare = tone(QStringLiteral("bare.mp3"), spec("mp3"));
    // An MP3 with its own picture and album: nothing to add.
    TestSupport::ToneSpec tagged = spec("mp3");
    tagged.tags.album = QStringLiteral("Own Album");
    tagged.coverPath = cover();
    const QString full = tone(QStringLiteral("full.mp3"), tagged);
    const int bareTrack = addTrack(QStringLiteral("Bare"), bare);
    const int fullTrack = addTrack(QStringLiteral("Full"), full, QStringLiteral("DB Album"));
    write();

    EXPECT_TRUE(run(ids({bareTrack, fullTrack})).isEmpty());
    EXPECT_EQ(readAll(destination + QStringLiteral("/Full.mp3")), readAll(fileOf(fullTrack)))
        << "copied byte for byte";

    const QString out = destination + QStringLiteral("/Bare.mp3");
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Lorvanel.APP"));
    EXPECT_TRUE(probed->hasCover);
    EXPECT_EQ(audioMD5(out, true), audioMD5(fileOf(bareTrack), true));
    EXPECT_FALSE(audioMD5(out, true).isEmpty());
    // The new tag is in front of the unchanged audio bytes.
    const QByteArray source = readAll(fileOf(bareTrack));
    EXPECT_TRUE(readAll(out).endsWith(source));
}

TEST_F(ExportTracks, WavStaysWavOrBecomesLosslessM4A) {
    TestSupport::ToneSpec wav = spec("pcm_s16le");
    const QString source = tone(QStringLiteral("a.wav"), wav);
    TestSupport::ToneSpec deep = spec("pcm_s24le");
    const QString source24 = tone(QStringLiteral("deep.wav"), deep);
    const QString mp3 = tone(QStringLiteral("b.mp3"), spec("mp3"));
    const int song = addTrack(QStringLiteral("Wave"), source, QStringLiteral("Stored Album"));
    const int song24 = addTrack(QStringLiteral("Deep"), source24);
    const int other = addTrack(QStringLiteral("Other"), mp3, QStringLiteral("A"));
    write();

    EXPECT_TRUE(run(ids({song, song24, other})).isEmpty());
    EXPECT_EQ(exported(), QStringList({QStringLiteral("Deep.wav"), QStringLiteral("Other.mp3"),
                                       QStringLiteral("Wave.wav")}));
    const QString wave = destination + QStringLiteral("/Wave.wav");
    EXPECT_EQ(TestSupport::probeAudio(wave)->tags.value(QStringLiteral("album")),
              QStringLiteral("Stored Album"));
    EXPECT_EQ(audioMD5(wave), audioMD5(fileOf(song)));
    // Only the RIFF size of the header changed; the new chunk follows the old ones.
    EXPECT_EQ(readAll(wave).mid(8, 28), readAll(fileOf(song)).mid(8, 28));
    EXPECT_EQ(readAll(wave).indexOf(readAll(fileOf(song)).mid(12)), 12);

    EXPECT_TRUE(run(ids({song, song24, other}), true).isEmpty());
    const QString m4a = destination + QStringLiteral("/Wave.m4a");
    const auto probed = TestSupport::probeAudio(m4a);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codecName, QStringLiteral("alac"));
    EXPECT_EQ(probed->majorBrand, QStringLiteral("M4A "));
    EXPECT_TRUE(probed->hasCover);
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Stored Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("title")), QStringLiteral("Wave"));
    EXPECT_EQ(audioMD5(m4a), audioMD5(fileOf(song))) << "lossless";
    EXPECT_EQ(audioMD5(destination + QStringLiteral("/Deep.m4a")), audioMD5(fileOf(song24)));
    EXPECT_TRUE(QFile::exists(destination + QStringLiteral("/Other (2).mp3")))
        << "other formats ignore the option";
}

TEST_F(ExportTracks, UnencodableWavGivesAFailureLineAndTheRestGoesOn) {
    const QString floatWav = tone(QStringLiteral("f.wav"), spec("pcm_f32le"));
    const QString mp3 = tone(QStringLiteral("b.mp3"), spec("mp3"));
    const int bad = addTrack(QStringLiteral("Float"), floatWav);
    const int good = addTrack(QStringLiteral("Good"), mp3, QStringLiteral("A"));
    write();
    const QStringList failures = run(ids({bad, good}), true);
    EXPECT_EQ(failures, QStringList(QStringLiteral("Float \u2014 This WAV cannot be exported as "
                                                   "a lossless M4A.")));
    EXPECT_EQ(exported(), QStringList(QStringLiteral("Good.mp3")));
}

TEST_F(ExportTracks, CancellingDuringTheThirdTrackKeepsTheFirstTwo) {
    const QString mp3 = tone(QStringLiteral("a.mp3"), spec("mp3"));
    QSet<quint64> all;
    for (int i = 0; i < 4; ++i)
        addTrack(QStringLiteral("Song %1").arg(i + 1), mp3, QStringLiteral("A"));
    write();
    for (int i = 0; i < 4; ++i)
        all.insert(volume->trackID(i));

    const TransferDevice device = deviceAt(volume->mountPoint());
    std::exception_ptr error;
    std::atomic<bool> done = false;
    Task task;
    task = Task::run(TaskPriority::userInitiated, [&] {
        try {
            exportTracks(all, device, destination, false, [&](const ImportProgress& p) {
                if (p.fileIndex == 3)
                    Task::currentState()->cancel();
            });
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
    });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return done.load(); }));
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), CancellationError);
    EXPECT_EQ(exported().size(), 2) << exported().join(QLatin1Char('|')).toStdString();
    for (const QString& name : exported())
        EXPECT_FALSE(name.startsWith(QLatin1Char('.')));
}

TEST_F(ExportTracks, ALostIPodEndsTheExportAndRemovesTheWorkFolder) {
    const QString mp3 = tone(QStringLiteral("a.mp3"), spec("mp3"));
    for (int i = 0; i < 3; ++i)
        addTrack(QStringLiteral("Song %1").arg(i + 1), mp3, QStringLiteral("A"));
    write();
    QSet<quint64> all;
    for (int i = 0; i < 3; ++i)
        all.insert(volume->trackID(i));
    const TransferDevice device = deviceAt(volume->mountPoint());
    bool detached = false;
    EXPECT_THROW(exportTracks(all, device, destination, false,
                              [&](const ImportProgress& p) {
                                  if (p.fileIndex == 2 && !detached)
                                      detached = ipodFileSystem->detach();
                              }),
                 ImportError);
    EXPECT_TRUE(detached);
    EXPECT_EQ(exported(), QStringList(QStringLiteral("Song 1.mp3")));
}

// A FAT stick through fusefat: renames refuse RENAME_NOREPLACE there, and names with ? " < >
// and the like are refused.
TEST_F(ExportTracks, ExportsOntoAFatFileSystem) {
    TestSupport::FatStick fat(path(QStringLiteral("stick")), 16);
    if (!fat.mounted())
        GTEST_SKIP() << fat.skipReason().toStdString();
    const QString stick = fat.mountPoint();

    const QString mp3 = tone(QStringLiteral("a.mp3"), spec("mp3"));
    const QString wav = tone(QStringLiteral("a.wav"), spec("pcm_s16le"));
    const int a = addTrack(QStringLiteral("What? <Live> \"Mix\""), mp3, QStringLiteral("A"));
    const int b = addTrack(QStringLiteral("What? <Live> \"Mix\""), mp3, QStringLiteral("A"));
    const int c = addTrack(QStringLiteral("Wave"), wav);
    write();
    EXPECT_TRUE(run(ids({a, b, c}), false, stick).isEmpty());
    // fusefat shows the volume label as an entry of its own.
    QStringList files = exported(stick);
    files.removeAll(QStringLiteral("STICK"));
    files.sort();
    EXPECT_EQ(files,
              QStringList({QStringLiteral("Wave.wav"), QStringLiteral("What- -Live- -Mix- (2).mp3"),
                           QStringLiteral("What- -Live- -Mix-.mp3")}));
    EXPECT_EQ(TestSupport::probeAudio(stick + QStringLiteral("/Wave.wav"))
                  ->tags.value(QStringLiteral("album")),
              QStringLiteral("Lorvanel.APP"));
}

TEST_F(ExportTracks, TheDatabasesArtworkBecomesTheCoverOfAFileWithoutOne) {
    TestSupport::TrackSpec t;
    t.title = QStringLiteral("Covered");
    t.sourceFile = tone(QStringLiteral("a.mp3"), spec("mp3"));
    t.artwork = true;
    t.artworkColor = 0x00C000;
    const int song = volume->addTrack(t);
    write();
    EXPECT_TRUE(run(ids({song})).isEmpty());
    const auto probed = TestSupport::probeAudio(destination + QStringLiteral("/Covered.mp3"));
    ASSERT_TRUE(probed);
    ASSERT_TRUE(probed->hasCover);
    EXPECT_NE(probed->coverData, LorvanelCoverArtwork::defaultCoverData().value_or(QByteArray()));
    const QImage image = QImage::fromData(probed->coverData);
    ASSERT_FALSE(image.isNull());
    const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
    EXPECT_LT(centre.red(), 40);
    EXPECT_GT(centre.green(), 150);
    EXPECT_LT(centre.blue(), 40);
}

TEST_F(ExportTracks, HostileFilesNeverCrashTheExport) {
    const QString junk = path(QStringLiteral("junk.m4a"));
    writeAll(junk,
             (QByteArray("\x00\x00\x00\x18", 4) + "ftypM4A junk that is no movie").repeated(50));
    const QString junkWave = path(QStringLiteral("junk.wav"));
    writeAll(junkWave, QByteArray("RIFF\xFF\xFF\xFF\xFF", 8) + "WAVEfmt " +
                           QByteArray("\xFF\xFF\xFF\x7F", 4));
    const QString mp3 = tone(QStringLiteral("b.mp3"), spec("mp3"));
    const int a = addTrack(QStringLiteral("Junk"), junk);
    const int b = addTrack(QStringLiteral("Junk Wave"), junkWave);
    const int c = addTrack(QStringLiteral("Good"), mp3, QStringLiteral("A"));
    write();
    for (bool lossless : {false, true}) {
        const QStringList failures = run(ids({a, b, c}), lossless);
        // A file the audio layer cannot read is copied as it is; a WAV that cannot take the
        // album or cannot be encoded is one failure line.
        ASSERT_EQ(failures.size(), 1) << failures.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(failures[0].startsWith(QStringLiteral("Junk Wave \u2014 ")));
    }
    EXPECT_EQ(readAll(destination + QStringLiteral("/Junk.m4a")), readAll(fileOf(a)));
    EXPECT_TRUE(QFile::exists(destination + QStringLiteral("/Good (2).mp3")));
    for (const QString& name : exported())
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
}

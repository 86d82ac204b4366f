#include "ExportTestSupport.h"

#include "library/StoredCovers.h"
#include "platform/Task.h"
#include "support/EventLoop.h"
#include "support/StoredCoverReads.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/ImportError.h"
#include "transfer/ImportProgress.h"
#include "transfer/TrackRewrite.h"

#include <gpod/itdb.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <filesystem>
#include <optional>

#include <signal.h>

using namespace ExportTest;
using namespace IPodTransfer;

namespace {

const QByteArray uslt = QByteArrayLiteral("USLT");

class TrackRewrite : public Fixture {
protected:
    TrackMetadata edit(const QString& title, const QString& album = QStringLiteral("Album")) {
        return TrackMetadata{title, QStringLiteral("Artist"), album, {}, {}};
    }
    // Runs the rewrite on a session of its own, as the store does.
    void rewrite(int index, const TrackMetadata& metadata) {
        IPodDatabase database(volume->mountPoint());
        rewriteTrackFile(volume->trackID(index), metadata, database, deviceAt(volume->mountPoint()),
                         [this](const QString& stage, double f) {
                             reports.append({stage, f});
                         });
    }
    // The track's file and record as a fresh session reads them.
    QString fileNow(int index) {
        IPodDatabase database(volume->mountPoint());
        return database.fileURL(volume->trackID(index));
    }
    Itdb_Track* record(IPodDatabase& database, int index) {
        for (GList* l = database.database()->tracks; l; l = l->next) {
            auto* t = static_cast<Itdb_Track*>(l->data);
            if (t->dbid == volume->trackID(index))
                return t;
        }
        return nullptr;
    }
    QList<QPair<QString, double>> reports;
};

} // namespace

TEST_F(TrackRewrite, MP3GainsLyricsKeepsItsFramesAndAudioAndTheOldFileGoes) {
    TestSupport::ToneSpec s = spec("mp3");
    s.tags.title = QStringLiteral("File Title");
    s.tags.artist = QStringLiteral("File Artist");
    s.tags.album = QStringLiteral("File Album");
    s.tags.genre = QStringLiteral("Rock");
    const QString source = tone(QStringLiteral("a.mp3"), s);
    const int song = addTrack(QStringLiteral("Song"), source, QStringLiteral("Album"));
    write();
    const QString old = fileOf(song);
    const QByteArray oldBytes = readAll(old);

    rewrite(song, edit(QStringLiteral("New Title"), QStringLiteral("   ")));
    const QString now = fileNow(song);
    EXPECT_NE(QFileInfo(now).fileName(), QFileInfo(old).fileName());
    EXPECT_FALSE(QFile::exists(old)) << "the old file is deleted after the save";

    const QByteArray bytes = readAll(now);
    const qsizetype oldTagEnd = 10 + (qsizetype(oldBytes[6]) << 21 | qsizetype(oldBytes[7]) << 14 |
                                      qsizetype(oldBytes[8]) << 7 | qsizetype(oldBytes[9]));
    EXPECT_TRUE(bytes.endsWith(oldBytes.mid(oldTagEnd))) << "audio bytes unchanged";
    EXPECT_TRUE(bytes.left(bytes.size() - (oldBytes.size() - oldTagEnd)).contains(uslt));
    const auto probed = TestSupport::probeAudio(now);
    ASSERT_TRUE(probed);
    // The file's own frames stay: its album was not blank, so it is not replaced.
    EXPECT_EQ(probed->tags.value(QStringLiteral("title")), QStringLiteral("File Title"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("artist")), QStringLiteral("File Artist"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("File Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("genre")), QStringLiteral("Rock"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics-eng")), rewriteLyrics);

    IPodDatabase database(volume->mountPoint());
    const QList<Track> tracks = database.loadTracks();
    ASSERT_EQ(tracks.size(), 1);
    EXPECT_EQ(tracks[0].title, QStringLiteral("New Title"));
    EXPECT_EQ(tracks[0].album, defaultAlbum) << "a blank album is stored as the default";
    EXPECT_EQ(tracks[0].sizeBytes, quint32(bytes.size()));

    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.last(), qMakePair(ImportStage::savingLibrary, 0.98));
}

TEST_F(TrackRewrite, MP3WithBlankAlbumGetsTheEditedAlbum) {
    TestSupport::ToneSpec s = spec("mp3");
    s.tags.title = QStringLiteral("T");
    s.tags.lyrics = QStringLiteral("Own words");
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), s));
    write();
    rewrite(song, edit(QStringLiteral("Song"), QStringLiteral("Edited Album")));
    const auto probed = TestSupport::probeAudio(fileNow(song));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Edited Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics-eng")), QStringLiteral("Own words"));
}

TEST_F(TrackRewrite, UnchangedTagsOfACompleteFileTouchNothing) {
    TestSupport::ToneSpec s = spec("mp3");
    s.tags.album = QStringLiteral("Album");
    s.tags.lyrics = QStringLiteral("Words");
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), s),
                              QStringLiteral("Album"), true);
    write();
    // The first save sets the track's lyrics flag, which an imported track already carries.
    rewrite(song, edit(QStringLiteral("Song")));
    reports.clear();
    const auto before = TestSupport::snapshotTree(volume->mountPoint());
    rewrite(song, edit(QStringLiteral("Song")));
    EXPECT_TRUE(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint()))
                    .isEmpty());
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(TrackRewrite, M4AIsRewrappedWithIdenticalSamplesNotReencoded) {
    for (const char* codec : {"aac", "alac"}) {
        SCOPED_TRACE(codec);
        volume.reset();
        volume = std::make_unique<TestSupport::IPodVolume>(QStringLiteral("MA477"));
        TestSupport::ToneSpec s = spec(QLatin1String(codec), 2.0);
        s.tags.title = QStringLiteral("Own Title");
        s.tags.genre = QStringLiteral("Pop");
        s.coverPath = cover(QStringLiteral("blue"));
        const QString source = tone(QStringLiteral("%1.m4a").arg(QLatin1String(codec)), s);
        const int song = addTrack(QStringLiteral("Song"), source);
        write();
        const QString old = fileOf(song);
        const QByteArray packets = audioMD5(old, true);
        const QByteArray samples = audioMD5(old);
        ASSERT_FALSE(packets.isEmpty());

        rewrite(song, edit(QStringLiteral("Song"), QString()));
        const QString now = fileNow(song);
        EXPECT_NE(now, old);
        EXPECT_FALSE(QFile::exists(old));
        EXPECT_EQ(audioMD5(now, true), packets);
        EXPECT_EQ(audioMD5(now), samples);
        const auto probed = TestSupport::probeAudio(now);
        ASSERT_TRUE(probed);
        EXPECT_EQ(probed->codecName, QLatin1String(codec));
        EXPECT_EQ(probed->majorBrand, QStringLiteral("M4A "));
        EXPECT_EQ(probed->tags.value(QStringLiteral("album")), defaultAlbum);
        EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics")), rewriteLyrics);
        EXPECT_EQ(probed->tags.value(QStringLiteral("title")), QStringLiteral("Own Title"));
        EXPECT_EQ(probed->tags.value(QStringLiteral("genre")), QStringLiteral("Pop"));
        EXPECT_TRUE(probed->hasCover) << "the file's own picture is carried over";

        // Progress only grows and ends with the save.
        for (int i = 1; i < reports.size(); ++i)
            EXPECT_GE(reports[i].second, reports[i - 1].second) << i;
        EXPECT_EQ(reports.first().first, ImportStage::preparingAudio);
        EXPECT_EQ(reports.last(), qMakePair(ImportStage::savingLibrary, 0.98));
        reports.clear();
    }
}

TEST_F(TrackRewrite, FlacWithoutLyricsBecomesAACAtTheStoredBitrate) {
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.flac"), spec("flac")),
                              QStringLiteral("Album"));
    write();
    const QString old = fileOf(song);
    rewrite(song, edit(QStringLiteral("Song"), QStringLiteral("Album")));
    const QString now = fileNow(song);
    EXPECT_TRUE(now.endsWith(QStringLiteral(".m4a"), Qt::CaseInsensitive)) << now.toStdString();
    EXPECT_FALSE(QFile::exists(old));
    const auto probed = TestSupport::probeAudio(now);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codecName, QStringLiteral("aac"));
    EXPECT_EQ(probed->sampleRate, 44100);
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics")), rewriteLyrics);
    IPodDatabase database(volume->mountPoint());
    Itdb_Track* t = record(database, song);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->bitrate, 320);
    EXPECT_EQ(t->samplerate, 44100);
    EXPECT_STREQ(t->filetype, "AAC audio file");
    for (const auto& [stage, f] : reports) {
        if (stage == ImportStage::convertingAudio) {
            EXPECT_LE(f, 0.75);
        }
    }
}

TEST_F(TrackRewrite, FilesWithTwoTracksOrChaptersAreNeverRewritten) {
    const QString twoTracks = path(QStringLiteral("two.m4a"));
    ASSERT_TRUE(TestSupport::runFFmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=d=1"), QStringLiteral("-f"), QStringLiteral("lavfi"),
         QStringLiteral("-i"), QStringLiteral("sine=d=1:f=880"), QStringLiteral("-map"),
         QStringLiteral("0"), QStringLiteral("-map"), QStringLiteral("1"), QStringLiteral("-c:a"),
         QStringLiteral("aac"), twoTracks}));
    const QString chapters = path(QStringLiteral("chapters.m4a"));
    const QString meta = path(QStringLiteral("chapters.txt"));
    writeAll(meta, ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=500\ntitle=One\n"
                   "[CHAPTER]\nTIMEBASE=1/1000\nSTART=500\nEND=1000\ntitle=Two\n");
    ASSERT_TRUE(TestSupport::runFFmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("sine=d=1"), QStringLiteral("-i"), meta, QStringLiteral("-map_metadata"),
         QStringLiteral("1"), QStringLiteral("-map_chapters"), QStringLiteral("1"),
         QStringLiteral("-c:a"), QStringLiteral("aac"), chapters}));
    const int a = addTrack(QStringLiteral("Two"), twoTracks);
    const int b = addTrack(QStringLiteral("Chapters"), chapters);
    write();
    const QString fileA = fileOf(a), fileB = fileOf(b);
    const QByteArray bytesA = readAll(fileA), bytesB = readAll(fileB);

    rewrite(a, edit(QStringLiteral("Two Edited"), QString()));
    rewrite(b, edit(QStringLiteral("Chapters Edited"), QString()));
    EXPECT_EQ(fileNow(a), fileA);
    EXPECT_EQ(fileNow(b), fileB);
    EXPECT_EQ(readAll(fileA), bytesA);
    EXPECT_EQ(readAll(fileB), bytesB);
    IPodDatabase database(volume->mountPoint());
    EXPECT_STREQ(record(database, a)->title, "Two Edited") << "the edit itself is saved";
    EXPECT_STREQ(record(database, b)->title, "Chapters Edited");
}

TEST_F(TrackRewrite, AnOldFileStillUsedByAnotherTrackIsKept) {
    const QString shared = QStringLiteral("iPod_Control/Music/F00/SHARED.mp3");
    volume->writeFile(shared, readAll(tone(QStringLiteral("a.mp3"), spec("mp3"))));
    TestSupport::TrackSpec t;
    t.withoutFile = true;
    t.ipodPath = shared;
    t.title = QStringLiteral("One");
    const int one = volume->addTrack(t);
    t.title = QStringLiteral("Two");
    volume->addTrack(t);
    write();
    rewrite(one, edit(QStringLiteral("One")));
    EXPECT_NE(fileNow(one), volume->path(shared));
    EXPECT_TRUE(volume->exists(shared));
}

TEST_F(TrackRewrite, MissingArtworkIsRepairedWithoutTouchingTheFile) {
    TestSupport::ToneSpec s = spec("mp3");
    s.tags.album = QStringLiteral("Album");
    s.tags.lyrics = QStringLiteral("Words");
    s.coverPath = cover(QStringLiteral("green"));
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), s),
                              QStringLiteral("Album"), false);
    write();
    const QString file = fileOf(song);
    const QByteArray bytes = readAll(file);
    const quint64 id = volume->trackID(song);
    ASSERT_FALSE(TestSupport::storedImages(volume->mountPoint(), {id}).contains(id));
    rewrite(song, edit(QStringLiteral("Song")));
    EXPECT_TRUE(TestSupport::storedImages(volume->mountPoint(), {id}).contains(id));
    IPodDatabase database(volume->mountPoint());
    EXPECT_EQ(database.fileURL(volume->trackID(song)), file);
    EXPECT_EQ(readAll(file), bytes);
}

// The iPod's own cover gives way to the file's picture only when the cover process found it
// damaged: one that could not be looked at (no temporary folder, no cover process) stays.
TEST_F(TrackRewrite, OnlyACoverFoundDamagedIsReplaced) {
    TestSupport::ToneSpec s = spec("mp3");
    s.tags.album = QStringLiteral("Album");
    s.coverPath = cover(QStringLiteral("green"));
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), s),
                              QStringLiteral("Album"), true);
    write();
    const auto storedColour = [&] {
        const quint64 id = volume->trackID(song);
        const StoredCover cover =
            StoredCovers::read({volume->mountPoint(), std::nullopt, std::nullopt, "rewrite"}, {id})
                .value(id);
        return cover.state == StoredCover::State::image ? cover.pixels.left(3).toHex()
                                                        : QByteArray("none");
    };
    const QByteArray ipodCover = storedColour();
    ASSERT_NE(ipodCover, "none");
    QTemporaryDir scratch;
    const std::pair<const char*, QByteArray> unlooked[] = {
        {"TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("none/such")))},
        {"LORVANEL_OPEN_HELPER", "/nonexistent/lorvanel-open-helper"},
    };
    for (const auto& [variable, value] : unlooked) {
        const QByteArray before = qgetenv(variable);
        const bool wasSet = qEnvironmentVariableIsSet(variable);
        qputenv(variable, value);
        StoredCovers::endAll();
        rewrite(song, edit(QStringLiteral("Song ") + QLatin1String(variable)));
        wasSet ? qputenv(variable, before) : qunsetenv(variable);
        EXPECT_EQ(storedColour(), ipodCover) << variable;
    }
    // Its pixels noise in every format, the cover is damaged: the file's picture takes its place.
    QRandomGenerator noise(50);
    for (const QString& name : {QStringLiteral("F1027_1.ithmb"), QStringLiteral("F1031_1.ithmb")}) {
        const QString file = QStringLiteral("iPod_Control/Artwork/") + name;
        QByteArray bytes = volume->readFile(file);
        noise.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        volume->writeFile(file, bytes);
    }
    ASSERT_EQ(storedColour(), "none");
    rewrite(song, edit(QStringLiteral("Song Repaired")));
    const QByteArray repaired = storedColour();
    EXPECT_NE(repaired, "none");
    EXPECT_NE(repaired, ipodCover);
}

// A stored cover that could not be decoded because its process was stopped (as by a disk read
// that does not return) or ended from outside is no damaged one; nor is one whose process died
// of a fault that a new process decoding the cover alone does not meet. A tag edit keeps it.
TEST_F(TrackRewrite, ACoverThatCouldNotBeReadIsNeverReplaced) {
    // A classic with large covers: one answer of 3 MB never fits the cover process's socket.
    volume.reset();
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(ipodFileSystem->path()));
    volume = std::make_unique<TestSupport::IPodVolume>(
        QStringLiteral("MB029"),
        TestSupport::IPodVolume::Options{
            .sysInfoExtended = TestSupport::sysInfoExtendedXML(
                {{QStringLiteral("FireWireGUID"), TestSupport::IPodVolume::defaultFirewireGuid()},
                 {QStringLiteral("AlbumArt"),
                  QByteArray("<array><dict><key>FormatId</key><integer>1055</integer>"
                             "<key>RenderWidth</key><integer>1024</integer><key>RenderHeight"
                             "</key><integer>1024</integer><key>PixelFormat</key><string>"
                             "4C353635</string></dict></array>")}})});
    oldTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTemp);
    TestSupport::ToneSpec s = spec("mp3");
    s.coverPath = cover(QStringLiteral("green"));
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), s),
                              QStringLiteral("Album"), true);
    write();
    const quint64 id = volume->trackID(song);
    const DatabasePreflight::Request request{volume->mountPoint(), std::nullopt, std::nullopt,
                                             "rewrite"};
    const auto stored = [&] { return StoredCovers::read(request, {id}).value(id); };
    const StoredCover original = stored();
    ASSERT_EQ(original.state, StoredCover::State::image);
    ASSERT_EQ(original.width, 1024);

    const std::pair<const char*, int> cases[] = {
        {"stopped", SIGSTOP}, {"killed", SIGKILL}, {"faulted once", SIGSEGV}};
    for (const auto& [label, signal] : cases) {
        // The process is signalled once it has taken the edit's first request.
        int taken = 0;
        const StoredCovers::Limits limits = TestSupport::signalledOnFirstRequest(signal, taken);
        TransferDevice device = deviceAt(volume->mountPoint());
        device.storedCovers = [&](const QList<quint64>& ids) {
            return StoredCovers::read(request, ids, limits);
        };
        device.storedCoverAlone = [&](quint64 trackID) {
            return StoredCovers::readAlone(request, trackID);
        };
        IPodDatabase database(volume->mountPoint());
        rewriteTrackFile(id, edit(QStringLiteral("Song ") + QLatin1String(label)), database, device,
                         {});
        EXPECT_EQ(taken, 1) << label;
        const StoredCover now = stored();
        EXPECT_EQ(now.state, StoredCover::State::image) << label;
        EXPECT_TRUE(now.width == original.width && now.pixels == original.pixels) << label;
        StoredCovers::endAll();
    }
}

// A classic whose file of its largest thumbnails is gone shows each cover from its other formats:
// a title edit keeps the cover, pixel for pixel, rather than giving the track the default one.
TEST_F(TrackRewrite, ACoverStillStoredInAnotherFormatIsKept) {
    volume.reset();
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(ipodFileSystem->path()));
    volume = std::make_unique<TestSupport::IPodVolume>(QStringLiteral("MB029"));
    oldTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTemp);
    const int song = addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), spec("mp3")),
                              QStringLiteral("Album"), true);
    write();
    volume->removeFile(QStringLiteral("iPod_Control/Artwork/F1060_1.ithmb"));
    const quint64 id = volume->trackID(song);
    const auto covers = TestSupport::libgpodCovers(volume->mountPoint());
    ASSERT_EQ(covers.value(id).size(), 3);
    rewrite(song, edit(QStringLiteral("Retitled")));
    EXPECT_EQ(TestSupport::libgpodCovers(volume->mountPoint()), covers);
    IPodDatabase database(volume->mountPoint());
    EXPECT_STREQ(record(database, song)->title, "Retitled");
}

TEST_F(TrackRewrite, CancellingLeavesTheIPodAsItWas) {
    const int song =
        addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.m4a"), spec("aac", 20)));
    write();
    const auto before = TestSupport::snapshotTree(volume->mountPoint());
    const TransferDevice device = deviceAt(volume->mountPoint());
    const quint64 id = volume->trackID(song);
    const QString mount = volume->mountPoint();
    std::exception_ptr error;
    std::atomic<bool> done = false;
    Task::run(TaskPriority::userInitiated, [&] {
        try {
            IPodDatabase database(mount);
            rewriteTrackFile(id, edit(QStringLiteral("Edited"), QString()), database, device,
                             [](const QString& stage, double f) {
                                 if (stage == ImportStage::preparingAudio && f > 0.1)
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
    EXPECT_TRUE(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint()))
                    .isEmpty());
}

// The music folder becomes a symbolic link when the rewrite first writes, or once the new library
// is written: nothing is written or removed through it.
TEST_F(TrackRewrite, TheMusicFolderBecomingALinkIsNotWrittenThrough) {
    namespace fs = std::filesystem;
    const int first = addTrack(QStringLiteral("First"), tone(QStringLiteral("a.mp3"), spec("mp3")));
    const int second =
        addTrack(QStringLiteral("Second"), tone(QStringLiteral("b.mp3"), spec("mp3", 2)));
    write();
    const QString iTunesDB = volume->path(QStringLiteral("iPod_Control/iTunes/iTunesDB"));
    for (const int song : {first, second}) {
        const bool atTheSave = song == second;
        SCOPED_TRACE(atTheSave ? "once saved" : "at the first write");
        // The music folder goes to another file system, a link in its place.
        const fs::path folder =
            QFile::encodeName(volume->path(QStringLiteral("iPod_Control/Music"))).toStdString();
        const fs::path moved = QFile::encodeName(path(QStringLiteral("moved"))).toStdString();
        std::optional<TestSupport::TreeSnapshot> outsideBefore;
        const auto link = [&] {
            if (outsideBefore)
                return;
            fs::remove_all(moved);
            fs::copy(folder, moved, fs::copy_options::recursive);
            fs::remove_all(folder);
            fs::create_symlink(moved, folder);
            outsideBefore = TestSupport::snapshotTree(QFile::decodeName(moved.c_str()));
        };
        // Made by the session's checkpoint: at its first call, or at its first once the new
        // library is written.
        const QByteArray savedBefore = readAll(iTunesDB);
        IPodDatabase database(volume->mountPoint(), std::nullopt, {}, [&] {
            if (!atTheSave || readAll(iTunesDB) != savedBefore)
                link();
        });
        try {
            rewriteTrackFile(volume->trackID(song), edit(QStringLiteral("Edited")), database,
                             deviceAt(volume->mountPoint()), {});
            EXPECT_TRUE(atTheSave);
        } catch (const IPodDatabaseError& error) {
            EXPECT_FALSE(atTheSave);
            EXPECT_EQ(error.errorCase(), IPodDatabaseError::Case::linkedFolder);
        }
        ASSERT_TRUE(outsideBefore);
        EXPECT_EQ(TestSupport::differences(
                      *outsideBefore, TestSupport::snapshotTree(QFile::decodeName(moved.c_str()))),
                  QStringList());
        fs::remove(folder);
        fs::copy(moved, folder, fs::copy_options::recursive);
    }
}

TEST_F(TrackRewrite, UnpluggingDuringTheCopyStopsWithoutSaving) {
    const int song =
        addTrack(QStringLiteral("Song"), tone(QStringLiteral("a.mp3"), spec("mp3", 4)));
    write();
    IPodDatabase database(volume->mountPoint());
    bool detached = false;
    try {
        rewriteTrackFile(volume->trackID(song), edit(QStringLiteral("Edited")), database,
                         deviceAt(volume->mountPoint()), [&](const QString& stage, double f) {
                             if (stage == ImportStage::copying && f > 0 && !detached)
                                 detached = ipodFileSystem->detach();
                         });
        ADD_FAILURE() << "the rewrite succeeded on a lost iPod";
    } catch (const ImportError& e) {
        EXPECT_EQ(e.kind(), ImportError::Case::disconnected);
    }
    EXPECT_TRUE(detached);
}

TEST_F(TrackRewrite, HostileFilesNeverCrashAndOnlyTheEditIsSaved) {
    const int text = addTrack(QStringLiteral("Text"), [&] {
        const QString p = path(QStringLiteral("text.mp3"));
        writeAll(p, QByteArray("this is no audio at all\n").repeated(100));
        return p;
    }());
    // A damaged tag in front of real audio: the rewrite refuses it and keeps everything.
    const QString mp3 = tone(QStringLiteral("b.mp3"), spec("mp3"));
    const QString damaged = path(QStringLiteral("damaged.mp3"));
    writeAll(damaged, QByteArray("ID3\x03\x00\x00\x7F\x7F\x7F\x7F", 10) + readAll(mp3));
    const int bad = addTrack(QStringLiteral("Bad"), damaged);
    write();

    rewrite(text, edit(QStringLiteral("Text Edited")));
    {
        IPodDatabase database(volume->mountPoint());
        EXPECT_STREQ(record(database, text)->title, "Text Edited");
    }
    const auto before = TestSupport::snapshotTree(volume->mountPoint());
    try {
        rewrite(bad, edit(QStringLiteral("Bad Edited")));
    } catch (const ImportError& e) {
        EXPECT_EQ(e.kind(), ImportError::Case::unsupportedAudio);
        EXPECT_TRUE(
            TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint()))
                .isEmpty());
    }
}

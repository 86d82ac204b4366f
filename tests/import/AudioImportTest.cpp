// The import end to end: real libgpod databases on real mounted file systems, real audio made by
// ffmpeg, and the database read back by libgpod afterwards.

#include "ImportFixture.h"
#include "support/StoredCoverReads.h"

#include "transfer/IPodTransfer.h"
#include "transfer/ImportError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace ImportTest;
using TestSupport::IPodVolume;
using TestSupport::ToneSpec;

namespace {

class AudioImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString why = whyImportsCannotRun(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        ASSERT_TRUE(work.isValid());
        // The import's private temporary folders go here, so that none may be left behind.
        ASSERT_TRUE(QDir().mkpath(temp()));
        previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp()));
    }
    void TearDown() override {
        if (!previousTemp.isNull())
            qputenv("TMPDIR", previousTemp);
        else
            qunsetenv("TMPDIR");
    }

    QString temp() const { return work.filePath(QStringLiteral("tmp")); }
    QString input(const QString& name) const {
        QDir().mkpath(work.filePath(QStringLiteral("in")));
        return work.filePath(QStringLiteral("in/") + name);
    }
    // The import's own folders (named by a UUID); the fixtures' folders live here too.
    QStringList leftInTemp() const {
        QStringList left =
            QDir(temp()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        left.removeIf([](const QString& name) { return QUuid::fromString(name).isNull(); });
        return left;
    }
    QString tone(const QString& name, double seconds, const QString& codec,
                 const QString& title = {}, double frequency = 440) const {
        ToneSpec spec;
        spec.seconds = seconds;
        spec.codec = codec;
        spec.frequency = frequency;
        spec.tags.title = title;
        spec.tags.artist = QStringLiteral("Tester");
        // With complete tags and lyrics an MP3 goes onto the device as it is.
        spec.tags.album = QStringLiteral("Album");
        spec.tags.lyrics = QStringLiteral("Words");
        const QString path = input(name);
        EXPECT_TRUE(TestSupport::makeTone(path, spec)) << qPrintable(name);
        return path;
    }
    // A song with these tags and, unless colour is empty, a picture of that colour; songs of the
    // same length share their audio, made once.
    QString song(const QString& name, const TestSupport::AudioTags& tags, const QString& colour,
                 double seconds = 1.0) const {
        const QString audio = input(QStringLiteral("tone%1.mp3").arg(seconds));
        if (!QFileInfo::exists(audio)) {
            ToneSpec spec;
            spec.seconds = seconds;
            EXPECT_TRUE(TestSupport::makeTone(audio, spec));
        }
        QByteArray picture;
        if (!colour.isEmpty()) {
            const QString path = input(colour + QStringLiteral(".png"));
            if (!QFileInfo::exists(path)) {
                EXPECT_TRUE(TestSupport::makePicture(path, 300, 300, colour));
            }
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            picture = file.readAll();
        }
        QFile tone(audio);
        QFile made(input(name + QStringLiteral(".mp3")));
        EXPECT_TRUE(tone.open(QIODevice::ReadOnly) && made.open(QIODevice::WriteOnly));
        made.write(TestSupport::id3v23Tag(tags, picture) + tone.readAll());
        return made.fileName();
    }
    // A song of an album with a picture of that colour, as a classic shows it.
    QString songWithCover(const QString& name, const QString& album, const QString& colour,
                          double seconds = 1.0) const {
        return song(name, {name, QStringLiteral("Tester"), album, {}, {}, QStringLiteral("Words")},
                    colour, seconds);
    }
    static qint64 audioOf(const QStringList& songs) {
        qint64 bytes = 0;
        for (const QString& song : songs)
            bytes += (QFileInfo(song).size() + 4095) / 4096 * 4096;
        return bytes;
    }
    static QString refusal(const QString& song) {
        return QFileInfo(song).fileName() +
               QStringLiteral(
                   " \u2014 There is not enough free space on the iPod for this song and "
                   "the library update it needs. Delete some songs from the iPod, then "
                   "try again.");
    }
    static QStringList musicFiles(const QString& mountPoint) {
        QStringList files;
        const QDir music(mountPoint + QStringLiteral("/iPod_Control/Music"));
        for (const QString& folder : music.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& file : QDir(music.filePath(folder)).entryList(QDir::Files))
                files.append(folder + u'/' + file);
        return files;
    }

    // An import into a one-song iPod during which, the first time `when` says so, another
    // iPod's volume is mounted in its place.
    struct SwappedImport {
        std::unique_ptr<MountedIPod> ipod;
        Outcome outcome;
        TestSupport::TreeSnapshot otherBefore; // the other volume right after the swap
    };
    SwappedImport importSwapping(const QStringList& urls,
                                 const std::function<bool(const ImportProgress&)>& when) {
        IPodVolume tree(QStringLiteral("MA477"));
        tree.addTrack({});
        tree.write();
        IPodVolume other(QStringLiteral("MA477"));
        other.addTrack({.title = QStringLiteral("Other")});
        other.write();
        SwappedImport run{MountedIPod::make(FileSystem::tmpfs, tree), {}, {}};
        if (!run.ipod)
            return run;
        run.outcome = runImport(urls, run.ipod->device(), TransferSettings::defaults(),
                                [&](const ImportProgress& p) {
                                    if (run.otherBefore.isEmpty() && when(p)) {
                                        EXPECT_TRUE(run.ipod->swapFor(other));
                                        run.otherBefore = run.ipod->snapshot();
                                    }
                                });
        return run;
    }

    QTemporaryDir work;
    QByteArray previousTemp;
};

class AudioImportOnEachFileSystem : public AudioImportTest,
                                    public ::testing::WithParamInterface<FileSystem> {};

TEST_P(AudioImportOnEachFileSystem, MixedFolderSkipsConvertsReportsAndRegistersTheRest) {
    const QString onDevice = tone(QStringLiteral("already.mp3"), 1.0, QStringLiteral("mp3"),
                                  QStringLiteral("Already"), 330);
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({.title = QStringLiteral("Already"), .sourceFile = onDevice});
    tree.write();
    if (GetParam() == FileSystem::ext4)
        if (const QString why = TestVolumes::whyLoopImagesAreUnavailable(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
    auto ipod = MountedIPod::make(GetParam(), tree);
    ASSERT_TRUE(ipod);

    const QString folder = work.filePath(QStringLiteral("in"));
    tone(QStringLiteral("a passthrough.mp3"), 1.0, QStringLiteral("mp3"), QStringLiteral("Plain"));
    const QString flac = tone(QStringLiteral("b converted.flac"), 1.5, QStringLiteral("flac"),
                              QStringLiteral("Lossless"), 550);
    QFile::copy(flac, input(QStringLiteral("c duplicate.flac")));
    tone(QStringLiteral("e wave.wav"), 1.0, QStringLiteral("pcm_s16le"), {}, 660);
    {
        QFile corrupt(input(QStringLiteral("d corrupt.mp3")));
        ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
        corrupt.write(QByteArray("this is not audio at all\n").repeated(40));
    }
    const TestSupport::TreeSnapshot before = ipod->snapshot();

    const Outcome outcome = runImport({folder}, ipod->device());
    ASSERT_FALSE(outcome.error) << qPrintable(outcome.errorText());
    ASSERT_TRUE(outcome.failures);
    ASSERT_EQ(outcome.failures->size(), 1);
    EXPECT_EQ(outcome.failures->first(),
              QStringLiteral("d corrupt.mp3 \u2014 The audio could not be read, or the file "
                             "format is unsupported."));

    // already.mp3 is on the device and the duplicate follows its converted twin: both skipped.
    QStringList skipped;
    for (const ImportProgress& p : outcome.progress)
        if (p.stage == ImportStage::skippedIdenticalFile)
            skipped.append(p.fileName);
    EXPECT_EQ(skipped,
              (QStringList{QStringLiteral("already.mp3"), QStringLiteral("c duplicate.flac")}));
    EXPECT_EQ(outcome.skippedIdentical, 2);
    ASSERT_FALSE(outcome.progress.isEmpty());
    const ImportProgress& last = outcome.progress.last();
    EXPECT_EQ(last.stage, ImportStage::savingLibrary);
    EXPECT_TRUE(last.fileName.isEmpty());
    EXPECT_FALSE(last.fileIndex);
    EXPECT_EQ(last.fraction, 1.0);
    for (qsizetype i = 1; i < outcome.progress.size(); ++i)
        EXPECT_GE(outcome.progress[i].fraction, outcome.progress[i - 1].fraction - 1e-9)
            << qPrintable(outcome.progress[i].fileName) << " "
            << qPrintable(outcome.progress[i].stage);

    // The database libgpod reads back lists the three new tracks with their files.
    const QList<Track> tracks = tracksOn(ipod->mountPoint());
    ASSERT_EQ(tracks.size(), 4);
    ASSERT_EQ(outcome.added.size(), 3);
    QStringList titles;
    for (const Track& added : outcome.added)
        titles.append(added.title);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Plain"), QStringLiteral("Lossless"),
                                   QStringLiteral("e wave")}));
    IPodDatabase reopened(ipod->mountPoint());
    for (const Track& added : outcome.added) {
        const auto found = std::find_if(tracks.begin(), tracks.end(),
                                        [&](const Track& t) { return t.id == added.id; });
        ASSERT_NE(found, tracks.end()) << qPrintable(added.title);
        EXPECT_EQ(found->title, added.title);
        EXPECT_EQ(found->artist, added.artist);
        EXPECT_GE(found->duration, 0.9);
        const QString file = reopened.fileURL(added.id);
        ASSERT_TRUE(QFileInfo::exists(file)) << qPrintable(file);
        EXPECT_EQ(QFileInfo(file).size(), qint64(found->sizeBytes));
        const auto probed = TestSupport::probeAudio(file);
        ASSERT_TRUE(probed) << qPrintable(file);
        EXPECT_EQ(probed->codecName, added.title == QStringLiteral("Plain")
                                         ? QStringLiteral("mp3")
                                         : QStringLiteral("aac"));
    }
    // Every file in the music folders belongs to a track; the temporary folder is gone.
    EXPECT_EQ(musicFiles(ipod->mountPoint()).size(), 4);
    EXPECT_TRUE(leftInTemp().isEmpty()) << qPrintable(leftInTemp().join(u' '));
    EXPECT_NE(before, ipod->snapshot());
}

INSTANTIATE_TEST_SUITE_P(FileSystems, AudioImportOnEachFileSystem,
                         ::testing::Values(FileSystem::tmpfs, FileSystem::ext4),
                         [](const auto& info) {
                             return info.param == FileSystem::tmpfs ? "tmpfs" : "ext4";
                         });

TEST_F(AudioImportTest, FoldersWithoutAudioEndTheImportAndWriteNothing) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    QDir().mkpath(work.filePath(QStringLiteral("empty/sub")));
    QFile note(work.filePath(QStringLiteral("empty/sub/notes.txt")));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("text");
    note.close();
    const auto before = ipod->snapshot();
    const Outcome outcome = runImport({work.filePath(QStringLiteral("empty"))}, ipod->device());
    EXPECT_EQ(outcome.errorText(),
              QStringLiteral("No supported audio files were found in the selected folders."));
    EXPECT_EQ(before, ipod->snapshot());
}

TEST_F(AudioImportTest, EveryFileFailingLeavesTheDeviceUnchanged) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    QStringList urls;
    for (const QString& name : {QStringLiteral("x.mp3"), QStringLiteral("y.flac")}) {
        QFile bad(input(name));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write(QByteArray(5000, 'z'));
        urls.append(bad.fileName());
    }
    urls.append(input(QStringLiteral("missing.mp3")));
    const auto before = ipod->snapshot();
    const Outcome outcome = runImport(urls, ipod->device());
    ASSERT_TRUE(outcome.failures) << qPrintable(outcome.errorText());
    ASSERT_EQ(outcome.failures->size(), 3);
    EXPECT_TRUE(outcome.failures->at(2).startsWith(QStringLiteral("missing.mp3 \u2014 ")));
    EXPECT_EQ(before, ipod->snapshot());
    EXPECT_TRUE(leftInTemp().isEmpty());
}

// Cancelling at the first copy or at the save: the database stays as it was and the copies
// made in this run are taken off the device again.
class AudioImportCancellation : public AudioImportTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(AudioImportCancellation, LeavesTheDatabaseAndMusicFoldersAsTheyWere) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    const QStringList urls = {
        tone(QStringLiteral("one.mp3"), 1.0, QStringLiteral("mp3"), {}, 300),
        tone(QStringLiteral("two.flac"), 1.0, QStringLiteral("flac"), {}, 400),
        tone(QStringLiteral("three.mp3"), 1.0, QStringLiteral("mp3"), {}, 500)};
    // The copies were made and taken away again, which the music folders' times show.
    const auto folderTimes = TestSupport::FolderTimes::ignored;
    const auto before = ipod->snapshot(folderTimes);
    const QString stopAt = QString::fromLatin1(GetParam());
    const Outcome outcome =
        runImport(urls, ipod->device(), TransferSettings::defaults(), [&](const ImportProgress& p) {
            if (p.stage == stopAt)
                Task::currentState()->cancel();
        });
    EXPECT_TRUE(outcome.wasCancelled()) << qPrintable(outcome.errorText());
    EXPECT_EQ(before, ipod->snapshot(folderTimes))
        << qPrintable(TestSupport::differences(before, ipod->snapshot(folderTimes)).join(u'\n'));
    EXPECT_TRUE(leftInTemp().isEmpty()) << qPrintable(leftInTemp().join(u' '));
}

INSTANTIATE_TEST_SUITE_P(Moments, AudioImportCancellation,
                         ::testing::Values("Copying", "Saving library"), [](const auto& info) {
                             return std::string(info.param) == "Copying" ? "AtFirstCopy"
                                                                         : "AtSavingLibrary";
                         });

TEST_F(AudioImportTest, AFullDiskFailsTheFileThatDoesNotFitAndImportsTheNext) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree, QStringLiteral("size=3m,mode=0755"));
    ASSERT_TRUE(ipod);
    ToneSpec big;
    big.seconds = 120;
    big.codec = QStringLiteral("mp3");
    big.tags = {QStringLiteral("Large"), QStringLiteral("Tester"), QStringLiteral("Album"), {}, {},
                QStringLiteral("Words")};
    big.extraArgs = {QStringLiteral("-b:a"), QStringLiteral("320k")};
    const QString large = input(QStringLiteral("large.mp3"));
    ASSERT_TRUE(TestSupport::makeTone(large, big));
    ASSERT_GT(QFileInfo(large).size(), 4 * 1024 * 1024);
    const QString small =
        tone(QStringLiteral("small.mp3"), 1.0, QStringLiteral("mp3"), QStringLiteral("Small"));

    const Outcome outcome = runImport({large, small}, ipod->device());
    ASSERT_TRUE(outcome.failures) << qPrintable(outcome.errorText());
    ASSERT_EQ(outcome.failures->size(), 1);
    EXPECT_TRUE(outcome.failures->first().startsWith(QStringLiteral("large.mp3 \u2014 ")))
        << qPrintable(outcome.failures->first());
    const QList<Track> tracks = tracksOn(ipod->mountPoint());
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_TRUE(std::any_of(tracks.begin(), tracks.end(),
                            [](const Track& t) { return t.title == QStringLiteral("Small"); }));
    // No partial file of the large one is left in the music folders.
    EXPECT_EQ(musicFiles(ipod->mountPoint()).size(), 2);
}

// Whether a song fits is told before it is copied: its audio, then the save of the library
// with it and the songs copied before it (the new databases beside the old ones, the thumbnails
// of their covers). A song whose audio fits but whose save does not is refused and nothing is
// written for it; with room for both it is imported. A classic gives every song a cover (songs
// of one album with the same picture share theirs); a shuffle shows none.
TEST_F(AudioImportTest, ASongIsCopiedOnlyWhenTheSaveAfterItFitsToo) {
    IPodVolume shuffle(QStringLiteral("MA546"));
    IPodVolume classic(QStringLiteral("MB029"));
    for (quint32 i = 0; i < 2; ++i)
        classic.addTrack({.title = QStringLiteral("Cover %1").arg(i),
                          .artwork = true,
                          .artworkColor = 0x204080 * (i + 1)});
    for (IPodVolume* tree : {&shuffle, &classic}) {
        tree->addTracksWithoutFiles(800, 5000, {.title = QStringLiteral("Plain")});
        tree->write();
    }
    const auto databaseOf = [](const IPodVolume& tree) {
        return QFileInfo(tree.mountPoint() + QStringLiteral("/iPod_Control/iTunes/iTunesDB"))
            .size();
    };
    const qint64 shuffleDB = databaseOf(shuffle);
    const qint64 classicDB = databaseOf(classic);
    ASSERT_GT(shuffleDB, qint64(900) << 10);
    const QString one =
        tone(QStringLiteral("one.mp3"), 60.0, QStringLiteral("mp3"), QStringLiteral("One"));
    const QString two =
        tone(QStringLiteral("two.mp3"), 60.0, QStringLiteral("mp3"), QStringLiteral("Two"), 550);
    const QString red =
        songWithCover(QStringLiteral("red"), QStringLiteral("Album"), QStringLiteral("red"), 60.0);
    const QString green = songWithCover(QStringLiteral("green"), QStringLiteral("Album"),
                                        QStringLiteral("green"), 60.0);

    constexpr qint64 KiB = 1024;
    const struct {
        const char* room; // beyond the audio of the songs
        const IPodVolume& tree;
        QStringList songs;
        qint64 beyondAudio;
        int imported; // the first ones
    } cases[] = {
        {"shuffle, 550 KiB", shuffle, {one}, 550 * KiB, 0},
        {"shuffle, 850 KiB", shuffle, {one}, 850 * KiB, 0},
        {"shuffle, 64 KiB less than its iTunesDB", shuffle, {one}, shuffleDB - 64 * KiB, 0},
        {"shuffle, its iTunesDB and 256 KiB", shuffle, {one}, shuffleDB + 256 * KiB, 1},
        {"classic, its iTunesDB and 128 KiB", classic, {one}, classicDB + 128 * KiB, 0},
        {"classic, its iTunesDB and 1 MiB", classic, {one}, classicDB + 1024 * KiB, 1},
        {"classic, two songs sharing a cover", classic, {one, two}, classicDB + 512 * KiB, 2},
        {"classic, two songs, a cover each", classic, {red, green}, classicDB + 512 * KiB, 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.room);
        auto ipod =
            MountedIPod::make(FileSystem::tmpfs, test.tree, QStringLiteral("size=16m,mode=0755"));
        ASSERT_TRUE(ipod);
        const qsizetype tracks = tracksOn(ipod->mountPoint()).size();
        ASSERT_FALSE(
            TestVolumes::fillVolume(ipod->mountPoint(), audioOf(test.songs) + test.beyondAudio)
                .isEmpty());
        const auto before = ipod->snapshot();

        const Outcome outcome = runImport(test.songs, ipod->device());
        if (!outcome.failures) {
            ADD_FAILURE() << qPrintable(outcome.errorText());
            continue;
        }
        QStringList refused;
        for (const QString& song : test.songs.mid(test.imported))
            refused << refusal(song);
        EXPECT_EQ(outcome.failures->join(u'\n').toStdString(), refused.join(u'\n').toStdString());
        EXPECT_EQ(tracksOn(ipod->mountPoint()).size(), tracks + test.imported);
        if (test.imported == 0) {
            EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(),
                      "");
        }
    }
}

// A new cover takes the room the model stores it in: an image with a thumbnail in each of the
// model's cover formats (measured below) and its ArtworkDB record. A classic and a nano 4G store
// one image for the songs of one album with one picture, a nano 2G one for each song, on a fresh
// iPod as on one whose stored covers are shared by several songs. With room for the songs' audio,
// those images and a little more, every song is copied and saved. Short of an image, the songs
// that do not fit are refused before they are copied and the others are saved; where all share
// the one image, the room holds one song's audio and each song is refused.
TEST_F(AudioImportTest, NewCoversTakeTheRoomTheModelStoresThemIn) {
    QStringList oneAlbum;
    for (int i = 0; i < 8; ++i)
        oneAlbum << songWithCover(QStringLiteral("one%1").arg(i), QStringLiteral("One"),
                                  QStringLiteral("red"));
    QStringList threeAlbums;
    for (const QString& colour : {QStringLiteral("blue"), QStringLiteral("green")})
        threeAlbums << songWithCover(colour, colour, colour);
    threeAlbums << oneAlbum.first();
    const QStringList threeOfOneAlbum = oneAlbum.mid(0, 3);

    constexpr qint64 KiB = 1024;
    const struct {
        const char* model;
        bool stored; // three songs of one album share a stored cover
        const QStringList& songs;
        qint64 images; // what libgpod stores for them
        qint64 image;  // one image's thumbnails
        bool enough;
    } cases[] = {
        {"MB029", false, threeOfOneAlbum, 1, 276608, true},
        {"MB029", false, threeOfOneAlbum, 1, 276608, false},
        {"MB029", true, threeOfOneAlbum, 1, 276608, true},
        {"MB029", true, threeOfOneAlbum, 1, 276608, false},
        {"MA477", false, threeAlbums, 3, 23528, true},
        {"MA477", false, oneAlbum, 8, 23528, false},
        {"MA477", true, oneAlbum, 8, 23528, true},
        {"MA477", true, oneAlbum, 8, 23528, false},
        {"MB480", false, threeOfOneAlbum, 1, 313736, true},
        {"MB480", true, threeOfOneAlbum, 1, 313736, false},
        {"MB480", false, threeAlbums, 3, 313736, true},
        {"MB480", false, threeAlbums, 3, 313736, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.model) + (test.stored ? " with covers, " : " fresh, ") +
                     std::to_string(test.images) +
                     (test.enough ? " images, room" : " images, short"));
        IPodVolume tree{QLatin1String(test.model)};
        for (int i = 0; i < (test.stored ? 3 : 1); ++i)
            tree.addTrack({.title = QStringLiteral("Stored %1").arg(i),
                           .album = QStringLiteral("Stored"),
                           .artwork = test.stored,
                           .artworkColor = 0x802040});
        tree.write();
        auto ipod =
            MountedIPod::make(FileSystem::tmpfs, tree, QStringLiteral("size=16m,mode=0755"));
        ASSERT_TRUE(ipod);
        const qsizetype tracks = tracksOn(ipod->mountPoint()).size();
        const bool oneImage = !test.enough && test.images == 1;
        const qint64 room = audioOf(oneImage ? test.songs.mid(0, 1) : test.songs) +
                            test.images * test.image + (test.enough ? 256 * KiB : -16 * KiB);
        ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), room).isEmpty());
        const auto before = ipod->snapshot();

        const Outcome outcome = runImport(test.songs, ipod->device());
        if (!outcome.failures) {
            ADD_FAILURE() << qPrintable(outcome.errorText());
            continue;
        }
        QSet<QString> titles;
        for (const Track& track : tracksOn(ipod->mountPoint()))
            titles.insert(track.title);
        QStringList refused;
        for (const QString& song : test.songs)
            if (!titles.contains(QFileInfo(song).completeBaseName()))
                refused << refusal(song);
        EXPECT_EQ(outcome.failures->join(u'\n').toStdString(), refused.join(u'\n').toStdString());
        const qsizetype imported = titles.size() - tracks;
        EXPECT_EQ(musicFiles(ipod->mountPoint()).size(), tracks + imported);
        if (test.enough) {
            EXPECT_EQ(imported, test.songs.size());
        } else {
            EXPECT_LT(imported, oneImage ? 1 : test.songs.size());
        }
        if (imported == 0) {
            EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(),
                      "");
        }
    }
}

// With a thumbnail file missing, a cover saved now would show on the songs whose covers are
// recorded in it: a song with a cover (every song gets one, the default one at least) is refused,
// naming the file, and the stored covers read back as before.
TEST_F(AudioImportTest, ASongWithACoverIsRefusedWhileAThumbnailFileIsMissing) {
    const QString file = QStringLiteral("iPod_Control/Artwork/F1060_1.ithmb");
    IPodVolume tree(QStringLiteral("MB029"));
    for (const quint32 colour : {0x802040u, 0x208040u})
        tree.addTrack({.artwork = true, .artworkColor = colour});
    tree.write();
    tree.removeFile(file);
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    const auto covers = TestSupport::libgpodCovers(ipod->mountPoint());
    const auto before = ipod->snapshot();

    const Outcome outcome = runImport(
        {songWithCover(QStringLiteral("covered"), QStringLiteral("Album"), QStringLiteral("red"))},
        ipod->device());
    ASSERT_TRUE(outcome.failures) << qPrintable(outcome.errorText());
    EXPECT_EQ(*outcome.failures,
              QStringList{QStringLiteral("covered.mp3 \u2014 ") +
                          ImportError::shortCoverFile(file).description(AppLanguage::english)});
    EXPECT_EQ(TestSupport::libgpodCovers(ipod->mountPoint()), covers);
    EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(), "");
}

// The records of the songs added count in the room for the save: long tags make a record larger
// than the save's margin. The room beyond the songs' audio is the iTunesDB an import with room
// writes for them, less 1 KiB; libgpod writes the new database whole beside the old one, so the
// save with the last song cannot fit. A song with long tags alone is refused before it is copied;
// after it, a longer song with short tags is refused for the first one's record, while the first
// one, for which its audio's room is free, is saved.
TEST_F(AudioImportTest, ASongIsRefusedWhenTheRecordsOfTheSongsAddedWouldNotFit) {
    const QString text(12000, u'x');
    const QStringList songs = {
        song(QStringLiteral("long"), {text, text, text, text, text, QStringLiteral("Words")}, {}),
        song(QStringLiteral("short"),
             {QStringLiteral("short"),
              QStringLiteral("Tester"),
              QStringLiteral("Album"),
              {},
              {},
              QStringLiteral("Words")},
             {}, 20.0),
    };
    IPodVolume shuffle(QStringLiteral("MA546"));
    shuffle.addTrack({});
    shuffle.write();
    const QString database = QStringLiteral("/iPod_Control/iTunes/iTunesDB");
    for (const qsizetype count : {1, 2}) {
        SCOPED_TRACE(count);
        const QStringList batch = songs.mid(0, count);
        auto roomy = MountedIPod::make(FileSystem::tmpfs, shuffle);
        ASSERT_TRUE(roomy);
        ASSERT_EQ(runImport(batch, roomy->device()).failures, QStringList());
        const qint64 written = QFileInfo(roomy->mountPoint() + database).size();

        auto ipod = MountedIPod::make(FileSystem::tmpfs, shuffle);
        ASSERT_TRUE(ipod);
        ASSERT_FALSE(
            TestVolumes::fillVolume(ipod->mountPoint(), audioOf(batch) + written - 1024).isEmpty());
        const auto before = ipod->snapshot();
        const Outcome outcome = runImport(batch, ipod->device());
        EXPECT_EQ(outcome.failures, QStringList{refusal(batch.last())})
            << qPrintable(outcome.errorText());
        EXPECT_EQ(tracksOn(ipod->mountPoint()).size(), count);
        if (count == 1) {
            EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(),
                      "");
        }
    }
}

// A folder an import would write into (or through) that is a symbolic link, to a folder outside
// the iPod or to nothing, is named before anything is copied; one that appears once the import
// has begun ends it. Nothing is written, on the iPod or where the link leads.
TEST_F(AudioImportTest, AFolderOfTheIPodThatIsALinkIsNamedAndNothingIsWritten) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    const QString song = tone(QStringLiteral("song.mp3"), 1.0, QStringLiteral("mp3"));
    const QString outside = work.filePath(QStringLiteral("outside"));
    enum class Link { toAFolder, toNothing, whileImporting };
    for (const char* folder :
         {"iPod_Control", "iPod_Control/Music", "iPod_Control/Music/F02", "iPod_Control/iTunes",
          "iPod_Control/Artwork", "iPod_Control/Device"}) {
        for (const Link link : {Link::toAFolder, Link::toNothing, Link::whileImporting}) {
            SCOPED_TRACE(std::string(folder) + " " + std::to_string(int(link)));
            auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
            ASSERT_TRUE(ipod);
            QDir(outside).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(outside));
            TestSupport::TreeSnapshot before, outsideBefore;
            // The folder goes out of the volume (another file system), a link in its place.
            const auto replace = [&] {
                namespace fs = std::filesystem;
                const fs::path path =
                    QFile::encodeName(ipod->mountPoint() + u'/' + QLatin1String(folder))
                        .toStdString();
                const fs::path moved = QFile::encodeName(outside).toStdString() + "/moved";
                fs::copy(path, moved,
                         fs::copy_options::recursive | fs::copy_options::copy_symlinks);
                fs::remove_all(path);
                fs::create_symlink(
                    link == Link::toNothing ? moved.string() + "-gone" : moved.string(), path);
                before = ipod->snapshot();
                outsideBefore = TestSupport::snapshotTree(outside);
            };
            if (link != Link::whileImporting)
                replace();

            const Outcome outcome = runImport({song}, ipod->device(), TransferSettings::defaults(),
                                              [&](const ImportProgress&) {
                                                  if (before.isEmpty())
                                                      replace();
                                              });
            EXPECT_EQ(outcome.errorText().toStdString(),
                      "Nothing was imported: " + std::string(folder) +
                          " on the iPod is a symbolic link, not a folder. Move the folder the "
                          "link points to onto the iPod in place of the link, under the same "
                          "name, then try again.")
                << qPrintable(outcome.failures.value_or(QStringList()).join(u'\n'));
            EXPECT_EQ(
                localizedDescription(outcome.error, AppLanguage::simplifiedChinese).toStdString(),
                "未导入任何歌曲：iPod 上的 " + std::string(folder) +
                    " 是符号链接，而不是文件夹。请将该链接指向的文件夹移到 iPod "
                    "上替换该链接，并保持相同的名称，然后重试。");
            EXPECT_EQ(TestSupport::differences(before, ipod->snapshot()).join(u' ').toStdString(),
                      "");
            EXPECT_EQ(TestSupport::differences(outsideBefore, TestSupport::snapshotTree(outside))
                          .join(u' ')
                          .toStdString(),
                      "");
            EXPECT_TRUE(leftInTemp().isEmpty()) << qPrintable(leftInTemp().join(u' '));
        }
    }
}

TEST_F(AudioImportTest, AReadOnlyVolumeIsRefusedBeforeAnythingIsCopied) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    ASSERT_TRUE(ipod->remountReadOnly());
    const auto before = ipod->snapshot();
    const Outcome outcome =
        runImport({tone(QStringLiteral("song.mp3"), 1.0, QStringLiteral("mp3"))}, ipod->device());
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.errorText(), IPodDatabaseError::readOnlyVolume().description());
    EXPECT_EQ(before, ipod->snapshot());
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(AudioImportTest, AVolumeGoingReadOnlyAtTheSaveKeepsTheCopiesAndSaysSo) {
    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    const Outcome outcome =
        runImport({tone(QStringLiteral("song.mp3"), 1.0, QStringLiteral("mp3"))}, ipod->device(),
                  TransferSettings::defaults(), [&](const ImportProgress& p) {
                      if (p.stage == ImportStage::savingLibrary) {
                          ASSERT_TRUE(ipod->remountReadOnly());
                      }
                  });
    ASSERT_TRUE(outcome.error);
    try {
        std::rethrow_exception(outcome.error);
    } catch (const ImportError& e) {
        EXPECT_EQ(e.kind(), ImportError::Case::cannotSave);
        EXPECT_EQ(e.detail(), IPodDatabaseError::readOnlyVolume().description());
    } catch (...) {
        ADD_FAILURE() << qPrintable(outcome.errorText());
    }
    // The copy stays, as the message tells the user; the old database is untouched.
    EXPECT_EQ(musicFiles(ipod->mountPoint()).size(), 2);
    EXPECT_EQ(tracksOn(ipod->mountPoint()).size(), 1);
}

TEST_F(AudioImportTest, AnotherVolumeAtTheSamePathStopsTheImportAndIsNotWritten) {
    const QStringList urls = {tone(QStringLiteral("one.mp3"), 1.0, QStringLiteral("mp3")),
                              tone(QStringLiteral("two.mp3"), 1.0, QStringLiteral("mp3"), {}, 500),
                              tone(QStringLiteral("three.flac"), 1.0, QStringLiteral("flac"))};
    // The first file is copied and registered; the swap comes as the second one starts.
    const auto run = importSwapping(urls, [](const ImportProgress& p) {
        return p.stage == ImportStage::copying && p.fileIndex == 2;
    });
    ASSERT_TRUE(run.ipod);
    EXPECT_EQ(run.outcome.errorText(), QStringLiteral("The iPod was disconnected."));
    ASSERT_FALSE(run.otherBefore.isEmpty());
    EXPECT_EQ(run.otherBefore, run.ipod->snapshot())
        << qPrintable(TestSupport::differences(run.otherBefore, run.ipod->snapshot()).join(u'\n'));
    EXPECT_EQ(tracksOn(run.ipod->mountPoint()).size(), 1);
    EXPECT_TRUE(leftInTemp().isEmpty());
}

// The swap after the last copy: the save itself finds the other volume and writes nothing.
TEST_F(AudioImportTest, AnotherVolumeMountedBeforeTheSaveIsNotSavedOnto) {
    const auto run = importSwapping(
        {tone(QStringLiteral("one.mp3"), 1.0, QStringLiteral("mp3")),
         tone(QStringLiteral("two.mp3"), 1.0, QStringLiteral("mp3"), {}, 500)},
        [](const ImportProgress& p) { return p.stage == ImportStage::savingLibrary; });
    ASSERT_TRUE(run.ipod);
    EXPECT_TRUE(run.outcome.errorText().contains(QStringLiteral("The iPod was disconnected.")))
        << qPrintable(run.outcome.errorText());
    ASSERT_FALSE(run.otherBefore.isEmpty());
    EXPECT_EQ(run.otherBefore, run.ipod->snapshot())
        << qPrintable(TestSupport::differences(run.otherBefore, run.ipod->snapshot()).join(u'\n'));
    EXPECT_EQ(tracksOn(run.ipod->mountPoint()).size(), 1);
}

} // namespace

// The store's imports, exports and library edits on real libgpod volumes: the start gates, the
// busy state, the staged tracks, the finish order (eject, or refresh, reload and one alert).

#include "StoreFixture.h"

#include "TestVolumes.h"

#include "library/IPodDatabase.h"
#include "support/AudioFixtures.h"

#include <QSettings>
#include <QSignalSpy>

using TestSupport::ToneSpec;

namespace {

class StoreOperations : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
    }

    // A selected, loaded iPod at root/Pod with the given tracks.
    IPodDevice selectedIPod(const QList<TestSupport::TrackSpec>& tracks = {{}}) {
        path = makeVolume(QStringLiteral("Pod"), QStringLiteral("Pod"), tracks);
        machine->setVolumes({path});
        makeStore();
        watchOperations();
        refresh();
        waitForLoad();
        EXPECT_TRUE(store->library());
        return deviceAt(path);
    }

    QString song(const QString& name, double frequency = 440) {
        ToneSpec spec;
        spec.seconds = 1;
        spec.frequency = frequency;
        spec.tags = {name, QStringLiteral("Tester"), QStringLiteral("Album"), {},
                     {},   QStringLiteral("Words")};
        const QString file = root + QStringLiteral("/in/") + name + QStringLiteral(".mp3");
        QDir().mkpath(root + QStringLiteral("/in"));
        EXPECT_TRUE(TestSupport::makeTone(file, spec));
        return file;
    }

    // Follows the store's operations: each ends by clearing the busy device, then a refresh
    // and a reload whose library arrives later.
    void watchOperations() {
        QObject::connect(store.get(), &IPodStore::activeDeviceIDChanged, [this] {
            if (!store->activeDeviceID()) {
                finished = true;
                reloaded = false;
            } else {
                finished = false;
            }
        });
        QObject::connect(store.get(), &IPodStore::libraryChanged, [this] {
            if (finished && store->library())
                reloaded = true;
        });
    }

    // Waits until the running operation has ended and its reload has shown the library.
    void waitForFinish() {
        ASSERT_TRUE(TestSupport::waitUntil([this] { return finished && reloaded; }));
    }

    void waitForTracks(int count) {
        waitForFinish();
        ASSERT_TRUE(store->library());
        EXPECT_EQ(store->library()->tracks.size(), count);
    }

    bool finished = false;
    bool reloaded = false;
    QString path;
};

TEST(StoreOperationAlert, ShowsFiveLinesThenTheCountOfTheRestAndTheDroppedItems) {
    QStringList seven;
    for (int i = 1; i <= 7; ++i)
        seven.append(QStringLiteral("f%1.mp3 \u2014 bad").arg(i));
    EXPECT_EQ(IPodStore::operationAlert(seven, 0, std::nullopt, AppLanguage::english),
              seven.mid(0, 5).join(u'\n') + QStringLiteral("\nAdditional failures: 2."));
    EXPECT_EQ(IPodStore::operationAlert(seven.mid(0, 5), 0, std::nullopt, AppLanguage::english),
              seven.mid(0, 5).join(u'\n'));
    // A "%" in a file name is text, not a marker.
    QStringList odd(6, QStringLiteral("100%2.mp3 \u2014 bad"));
    EXPECT_EQ(IPodStore::operationAlert(odd, 0, std::nullopt, AppLanguage::english),
              odd.mid(0, 5).join(u'\n') + QStringLiteral("\nAdditional failures: 1."));
    EXPECT_EQ(IPodStore::operationAlert({}, 1, std::nullopt, AppLanguage::english),
              QStringLiteral("Could not read dropped items (1)."));
    EXPECT_EQ(
        IPodStore::operationAlert({}, 0, QStringLiteral("Songs exported."), AppLanguage::english),
        QStringLiteral("Songs exported."));
    EXPECT_FALSE(IPodStore::operationAlert({}, 0, std::nullopt, AppLanguage::english));
    EXPECT_EQ(IPodStore::operationAlert({}, 2, std::nullopt, AppLanguage::simplifiedChinese),
              QStringLiteral("无法读取拖入的项目（2 个）。"));
}

TEST(StoreOperationAlert, FilesSkippedAsIdenticalAreCountedAfterTheFailures) {
    EXPECT_EQ(IPodStore::operationAlert({}, 0, std::nullopt, AppLanguage::english, 3),
              QStringLiteral("Skipped identical file (3)"));
    EXPECT_EQ(IPodStore::operationAlert({QStringLiteral("a.mp3 \u2014 bad")}, 1, std::nullopt,
                                        AppLanguage::english, 1),
              QStringLiteral("a.mp3 \u2014 bad\nCould not read dropped items (1).\n"
                             "Skipped identical file (1)"));
    EXPECT_EQ(IPodStore::operationAlert({}, 0, std::nullopt, AppLanguage::simplifiedChinese, 2),
              QStringLiteral("已跳过相同的文件 (2)"));
}

TEST_F(StoreOperations, AnImportShowsItsTracksWhileItRunsThenReloadsTheLibrary) {
    const IPodDevice device = selectedIPod();
    QSignalSpy progress(store.get(), &IPodStore::progressChanged);
    int mostStaged = 0;
    bool sawBusyWithBase = false;
    QObject::connect(store.get(), &IPodStore::stagedImportTracksChanged, [&] {
        mostStaged = std::max(mostStaged, int(store->stagedImportTracks().size()));
        sawBusyWithBase = store->activeDeviceID() == device.id && store->library() &&
                          store->library()->tracks.size() == 1;
    });
    store->startImport({song(QStringLiteral("One")), song(QStringLiteral("Two"), 550)}, device.id);
    EXPECT_EQ(store->activeDeviceID(), device.id);
    EXPECT_FALSE(store->canImport());
    waitForFinish();
    waitForTracks(3);
    EXPECT_EQ(mostStaged, 2);
    EXPECT_TRUE(sawBusyWithBase);
    EXPECT_GT(progress.count(), 2);
    EXPECT_FALSE(store->progress());
    EXPECT_TRUE(store->stagedImportTracks().isEmpty());
    EXPECT_FALSE(store->alert());
    ASSERT_TRUE(store->library());
    EXPECT_EQ(store->library()->tracks.size(), 3);
}

TEST_F(StoreOperations, AnImportForADeviceNoLongerSelectedIsRefused) {
    IPodDevice device = selectedIPod();
    device.id.inode += 1; // the panel was opened for another volume
    store->startImport({song(QStringLiteral("One"))}, device.id);
    EXPECT_EQ(store->alert(),
              QStringLiteral("The selected iPod is no longer available for import."));
    EXPECT_FALSE(store->activeDeviceID());
}

TEST_F(StoreOperations, ADropWithAnUnreadableItemImportsTheRestAndDoesNotEject) {
    QSettings().setValue(QStringLiteral("transfer.autoEject"), true);
    const IPodDevice device = selectedIPod();
    const QList<QUrl> items = {QUrl::fromLocalFile(song(QStringLiteral("One"))),
                               QUrl(QStringLiteral("https://example.invalid/song.mp3")),
                               QUrl::fromLocalFile(song(QStringLiteral("Two"), 550))};
    EXPECT_TRUE(store->importDroppedItems(items));
    waitForTracks(3);
    EXPECT_EQ(store->alert(), QStringLiteral("Could not read dropped items (1)."));
    ASSERT_TRUE(store->library());
    EXPECT_EQ(store->library()->tracks.size(), 3);
    EXPECT_EQ(store->devices().size(), 1); // not ejected
}

TEST_F(StoreOperations, ADropOfNothingReadableFreesTheDeviceAtOnce) {
    const IPodDevice device = selectedIPod();
    QList<QUrl> items(6, QUrl(QStringLiteral("https://example.invalid/x.mp3")));
    EXPECT_TRUE(store->importDroppedItems(items));
    EXPECT_FALSE(store->activeDeviceID());
    EXPECT_EQ(store->alert(), QStringLiteral("The dropped files could not be read."));
    store->setAlert(std::nullopt);
    // While busy, a drop is not taken at all.
    IPodStoreTestAccess::setActiveDeviceID(*store, device.id);
    EXPECT_FALSE(store->importDroppedItems(items));
    EXPECT_FALSE(store->alert());
}

TEST_F(StoreOperations, FailedFilesEndUpInTheAlertAndTheDeviceStays) {
    QSettings().setValue(QStringLiteral("transfer.autoEject"), true);
    const IPodDevice device = selectedIPod();
    QFile bad(root + QStringLiteral("/bad.mp3"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4000, 'x'));
    bad.close();
    store->startImport({bad.fileName(), song(QStringLiteral("Good"))}, device.id);
    waitForTracks(2);
    EXPECT_EQ(store->alert(), QStringLiteral("bad.mp3 \u2014 The audio could not be read, or the "
                                             "file format is unsupported."));
    EXPECT_EQ(store->library()->tracks.size(), 2);
}

TEST_F(StoreOperations, DeletingTracksWhoseFileIsGoneReportsNothingAndSaves) {
    const IPodDevice device = selectedIPod({{.title = QStringLiteral("A")},
                                            {.title = QStringLiteral("B")},
                                            {.title = QStringLiteral("C")}});
    const QList<Track> tracks = store->library()->tracks;
    {
        IPodDatabase session(path);
        QFile::remove(session.fileURL(tracks[0].id));
    }
    store->deleteTracks({tracks[0].id, tracks[1].id}, device.id);
    EXPECT_EQ(store->activeDeviceID(), device.id);
    waitForFinish();
    EXPECT_FALSE(store->alert());
    ASSERT_EQ(store->library()->tracks.size(), 1);
    EXPECT_EQ(store->library()->tracks[0].title, QStringLiteral("C"));
    EXPECT_EQ(IPodDatabase(path).loadTracks().size(), 1);
}

TEST_F(StoreOperations, PlaylistsAreCreatedAndAMoveAtTheEndSavesNothing) {
    const IPodDevice device = selectedIPod({{.title = QStringLiteral("A")}});
    const quint64 id = store->library()->tracks.first().id;
    store->createPlaylist(QStringLiteral("Mix"), {id}, device.id);
    waitForFinish();
    ASSERT_EQ(store->library()->playlists.size(), 1);
    EXPECT_EQ(store->library()->playlists[0].name, QStringLiteral("Mix"));

    const auto before = TestSupport::snapshotTree(path);
    store->movePlaylist(store->library()->playlists[0].id, true);
    EXPECT_TRUE(store->activeDeviceID());
    waitForFinish(); // the refresh and reload come all the same
    EXPECT_EQ(before, TestSupport::snapshotTree(path));
    EXPECT_FALSE(store->alert());
}

// What an earlier operation cut short left in the music folders goes as the next operation
// opens the library, even one that ends up saving nothing.
TEST_F(StoreOperations, AnOperationRemovesWhatAnEarlierOneLeftEvenWithoutSaving) {
    const QString leftover = QStringLiteral("iPod_Control/Music/F00/libgpod900001.mp3");
    const QString record =
        QStringLiteral("/iPod_Control/iTunes/") + IPodDatabase::pendingFilesRecord;
    const auto leaveACutShortFile = [&] {
        QFile file(path + u'/' + leftover);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("cut short");
        QFile pending(path + record);
        ASSERT_TRUE(pending.open(QIODevice::WriteOnly));
        pending.write("Lorvanel pending audio 1\n" + leftover.toUtf8() + '\n');
    };
    const std::function<void(const IPodDevice&)> operations[] = {
        [&](const IPodDevice& device) {
            store->createPlaylist(QStringLiteral("Mix"), {store->library()->tracks[0].id},
                                  device.id);
            waitForFinish();
            leaveACutShortFile();
            store->movePlaylist(store->library()->playlists[0].id, true); // at the end
        },
        [&](const IPodDevice& device) {
            leaveACutShortFile();
            store->startImport({song(QStringLiteral("One"))}, device.id); // already there
        },
    };
    for (const auto& operation : operations) {
        const IPodDevice device = selectedIPod(
            {{.title = QStringLiteral("One"), .sourceFile = song(QStringLiteral("One"))}});
        const QString listed = IPodDatabase(path).fileURL(store->library()->tracks[0].id);
        ASSERT_NO_FATAL_FAILURE(operation(device));
        waitForFinish();
        EXPECT_FALSE(QFile::exists(path + u'/' + leftover));
        EXPECT_FALSE(QFile::exists(path + record));
        EXPECT_TRUE(QFile::exists(listed));
        EXPECT_EQ(store->library()->tracks.size(), 1);
        store.reset();
        QDir(path).removeRecursively();
    }
}

TEST_F(StoreOperations, EditsDoNotStartWhileAnotherOperationRuns) {
    const IPodDevice device = selectedIPod({{.title = QStringLiteral("A")}});
    const quint64 id = store->library()->tracks.first().id;
    const auto before = TestSupport::snapshotTree(path);
    IPodStoreTestAccess::setActiveDeviceID(*store, device.id);
    store->saveTrackMetadata(id, {QStringLiteral("New"), {}, {}, {}, {}}, device.id);
    store->deleteTracks({id}, device.id);
    store->createPlaylist(QStringLiteral("Mix"), {id}, device.id);
    TestSupport::drainEvents();
    EXPECT_EQ(store->activeDeviceID(), device.id);
    EXPECT_FALSE(store->alert());
    EXPECT_EQ(before, TestSupport::snapshotTree(path));
}

TEST_F(StoreOperations, SavingTheTrackEditorRewritesTheTrack) {
    const IPodDevice device =
        selectedIPod({{.title = QStringLiteral("Old"), .sourceFile = song(QStringLiteral("Old"))}});
    const quint64 id = store->library()->tracks.first().id;
    QSignalSpy progress(store.get(), &IPodStore::progressChanged);
    store->saveTrackMetadata(
        id, {QStringLiteral("New"), QStringLiteral("Tester"), QStringLiteral("Album"), {}, {}},
        device.id);
    waitForFinish();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    ASSERT_EQ(store->library()->tracks.size(), 1);
    EXPECT_EQ(store->library()->tracks[0].title, QStringLiteral("New"));
    EXPECT_GE(progress.count(), 1);
}

// The volume under a running edit is replaced by another one at the same path.
class StoreOperationMounts : public StoreOperations {
protected:
    void SetUp() override {
        StoreOperations::SetUp();
        if (IsSkipped())
            return;
        if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
    }

    // A one-track iPod mounted at path and loaded by the store, with automatic eject on.
    std::unique_ptr<TestVolumes::Mount> loadedPodToEject(const QString& path) {
        QSettings().setValue(QStringLiteral("transfer.autoEject"), true);
        auto mount = TestVolumes::Mount::tmpfs(path, QStringLiteral("size=16m"));
        if (!mount)
            return mount;
        makeVolume({}, QStringLiteral("Pod"), {{}}, path);
        machine->listRealMountsUnder(root + QStringLiteral("/mnt"));
        makeStore();
        watchOperations();
        refresh();
        waitForLoad();
        return mount;
    }
};

TEST_F(StoreOperationMounts, AnAutoEjectAfterACleanImportUnmountsTheIPod) {
    const QString mountPath = root + QStringLiteral("/mnt/Pod");
    const auto mount = loadedPodToEject(mountPath);
    ASSERT_TRUE(mount);
    const IPodDevice device = deviceAt(mountPath);
    store->startImport({song(QStringLiteral("One"))}, device.id);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->devices().isEmpty(); }));
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    EXPECT_FALSE(QFileInfo::exists(mountPath + QStringLiteral("/iPod_Control")));
}

TEST_F(StoreOperationMounts, AnEjectAfterACleanImportStillTellsOfSkippedFiles) {
    const QString mountPath = root + QStringLiteral("/mnt/Pod");
    const auto mount = loadedPodToEject(mountPath);
    ASSERT_TRUE(mount);
    const IPodDevice device = deviceAt(mountPath);
    const QString one = song(QStringLiteral("One"));
    const QString again = root + QStringLiteral("/again.mp3");
    ASSERT_TRUE(QFile::copy(one, again));
    store->startImport({one, again}, device.id);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->devices().isEmpty(); }));
    EXPECT_EQ(store->alert(), QStringLiteral("Skipped identical file (1)"));
}

// A tag edit whose file must be rewritten, on a full iPod: the alert names the edit, the track
// and the want of room, not the file it would write, and says the edit was not made.
TEST_F(StoreOperationMounts, ATagEditOnAFullIPodNamesTheTrackAndTheFullDisk) {
    const QString mountPath = root + QStringLiteral("/mnt/Pod");
    const auto mount = TestVolumes::Mount::tmpfs(mountPath, QStringLiteral("size=4m"));
    ASSERT_TRUE(mount);
    const QString file = root + QStringLiteral("/old.mp3"); // no lyrics: the file is rewritten
    ToneSpec spec;
    spec.seconds = 1;
    ASSERT_TRUE(TestSupport::makeTone(file, spec));
    makeVolume({}, QStringLiteral("Pod"), {{.title = QStringLiteral("Old"), .sourceFile = file}},
               mountPath);
    machine->listRealMountsUnder(root + QStringLiteral("/mnt"));
    makeStore();
    watchOperations();
    refresh();
    waitForLoad();
    ASSERT_TRUE(store->library());
    ASSERT_FALSE(TestVolumes::fillVolume(mountPath, 0).isEmpty());
    store->saveTrackMetadata(store->library()->tracks.first().id,
                             {QStringLiteral("New"), {}, {}, {}, {}}, deviceAt(mountPath).id);
    waitForFinish();
    EXPECT_EQ(store->alert().value_or(QString()).toStdString(),
              "Save the track info of “Old” failed: There is not enough free space on the iPod to "
              "rewrite this song with its new details, so the edit was not made. Delete some "
              "songs from the iPod, then try again.");
}

TEST_F(StoreOperationMounts, AnExportIsRefusedWhileBusyAndReportsSuccessWhenClean) {
    // The export only writes outside the iPod's file system.
    const QString mountPath = root + QStringLiteral("/mnt/Pod");
    auto mount = TestVolumes::Mount::tmpfs(mountPath, QStringLiteral("size=16m"));
    ASSERT_TRUE(mount);
    makeVolume({}, QStringLiteral("Pod"), {{.title = QStringLiteral("Out")}}, mountPath);
    machine->listRealMountsUnder(root + QStringLiteral("/mnt"));
    makeStore();
    watchOperations();
    refresh();
    waitForLoad();
    ASSERT_TRUE(store->library());
    const IPodDevice device = deviceAt(mountPath);
    const QString destination = root + QStringLiteral("/export");
    QDir().mkpath(destination);
    const QSet<quint64> ids = {store->library()->tracks.first().id};
    IPodStoreTestAccess::setActiveDeviceID(*store, device.id);
    store->startExport(ids, device.id, destination, false);
    EXPECT_EQ(store->alert(),
              QStringLiteral("The selected iPod is no longer available for export."));
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    store->setAlert(std::nullopt);

    store->startExport(ids, device.id, destination, false);
    waitForFinish();
    EXPECT_EQ(store->alert(), QStringLiteral("Songs exported."));
    EXPECT_EQ(QDir(destination).entryList(QDir::Files).size(), 1);
}

} // namespace

// The store's state, its library snapshot and capabilities, and the serialised reload, on
// libgpod-made volumes in temporary folders.

#include "StoreFixture.h"

#include "device/IPodPreviewPlayer.h"

#include <QFile>
#include <QSignalSpy>

namespace {

QString englishLoadError(const IPodStore& store) {
    return store.loadErrorDescription(AppLanguage::english);
}

} // namespace

TEST_F(StoreTest, AFreshStoreHoldsNothingAndStartsNothing) {
    IPodStore& s = makeStore();
    TestSupport::drainEvents();
    EXPECT_TRUE(s.devices().isEmpty());
    EXPECT_TRUE(s.unmountedIPods().empty());
    EXPECT_FALSE(s.selection());
    EXPECT_FALSE(s.alert());
    EXPECT_FALSE(s.activeDeviceID());
    EXPECT_FALSE(s.library());
    EXPECT_FALSE(s.isPreviewPlaying());
    EXPECT_EQ(machine->volumeListings(), 0);
    EXPECT_EQ(machine->loadsStarted(), 0);
}

TEST_F(StoreTest, ListsIPodsInNaturalOrderAndLoadsTheFirst) {
    const QString ten = makeVolume(QStringLiteral("iPod 10"), QStringLiteral("Ten"));
    const QString nine =
        makeVolume(QStringLiteral("iPod 9"), QStringLiteral("Nine"),
                   {{.title = QStringLiteral("A")}, {.title = QStringLiteral("B")}});
    const QString plain = root + QStringLiteral("/Stick");
    QDir().mkpath(plain);
    const QString fileControl = root + QStringLiteral("/Odd");
    QDir().mkpath(fileControl);
    QFile(fileControl + QStringLiteral("/iPod_Control")).open(QIODevice::WriteOnly);
    machine->setVolumes({ten, plain, nine, fileControl});

    IPodStore& s = makeStore();
    QSignalSpy selectionSpy(&s, &IPodStore::selectionChanged);
    refresh();
    ASSERT_EQ(s.devices().size(), 2);
    EXPECT_EQ(s.devices()[0].mountPoint, nine);
    EXPECT_EQ(s.devices()[1].mountPoint, ten);
    ASSERT_TRUE(s.selection());
    EXPECT_EQ(*s.selection(), IPodStore::Selection::disk(s.devices()[0].id));
    EXPECT_GE(selectionSpy.count(), 1);

    waitForLoad();
    ASSERT_TRUE(s.library()) << qPrintable(englishLoadError(s));
    EXPECT_EQ(s.library()->deviceName, QStringLiteral("Nine"));
    ASSERT_EQ(s.library()->tracks.size(), 2);
    EXPECT_EQ(s.library()->tracks[0].title, QStringLiteral("A"));
    EXPECT_FALSE(s.library()->writeBlocker);
    ASSERT_TRUE(s.library()->model);
    EXPECT_EQ(s.library()->model->family, IPodModel::Family::nano);
    EXPECT_EQ(s.deviceNames().value(IPodStore::Selection::disk(deviceAt(nine).id)),
              QStringLiteral("Nine"));
    EXPECT_TRUE(s.deviceModels().contains(deviceAt(nine).id));
    EXPECT_EQ(s.displayName(deviceAt(nine).id, AppLanguage::english), QStringLiteral("Nine"));
    EXPECT_EQ(s.displayName(deviceAt(ten).id, AppLanguage::english),
              QStringLiteral("Unknown iPod"));
    EXPECT_EQ(s.displayName(deviceAt(ten).id, AppLanguage::simplifiedChinese),
              QStringLiteral("未知 iPod"));
}

TEST_F(StoreTest, SelectingTheSelectedDeviceAgainAnnouncesItButReloadsNothing) {
    machine->setVolumes({makeVolume(QStringLiteral("One"), QStringLiteral("One"))});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    ASSERT_EQ(machine->loadsStarted(), 1);
    QSignalSpy selectionSpy(&s, &IPodStore::selectionChanged);
    QSignalSpy librarySpy(&s, &IPodStore::libraryChanged);
    s.setSelection(s.selection());
    TestSupport::drainEvents();
    EXPECT_EQ(selectionSpy.count(), 1);
    EXPECT_EQ(librarySpy.count(), 0);
    EXPECT_EQ(machine->loadsStarted(), 1);
    EXPECT_TRUE(s.library());
}

TEST_F(StoreTest, ANewerSelectionWaitsForTheOlderReadAndDropsItsResult) {
    const QString first = makeVolume(QStringLiteral("A"), QStringLiteral("First"));
    const QString second = makeVolume(QStringLiteral("B"), QStringLiteral("Second"));
    machine->setVolumes({first, second});
    machine->closeLoadGate();
    IPodStore& s = makeStore();
    QStringList published;
    QObject::connect(&s, &IPodStore::libraryChanged, [&] {
        if (s.library())
            published.append(s.library()->deviceName.value_or(QString()));
    });
    refresh();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->loadsStarted() == 1; }));

    s.setSelection(IPodStore::Selection::disk(deviceAt(second).id));
    EXPECT_FALSE(s.library());
    EXPECT_FALSE(s.loadError());
    // Then back and forth once more: only the last one may read, after the first read ended.
    s.setSelection(IPodStore::Selection::disk(deviceAt(first).id));
    s.setSelection(IPodStore::Selection::disk(deviceAt(second).id));
    TestSupport::drainEvents();
    EXPECT_EQ(machine->loadsStarted(), 1);

    machine->openLoadGate();
    waitForLoad();
    ASSERT_TRUE(s.library());
    EXPECT_EQ(loadedName(), QStringLiteral("Second"));
    EXPECT_EQ(machine->loadsStarted(), 2);
    EXPECT_EQ(machine->maxConcurrentLoads(), 1);
    EXPECT_EQ(published, QStringList{QStringLiteral("Second")});
}

TEST_F(StoreTest, ADamagedDatabaseShowsTheLoadErrorAndRetryReadsAgain) {
    const QString path = makeVolume(QStringLiteral("Broken"), QStringLiteral("Broken"));
    const QString db = path + QStringLiteral("/iPod_Control/iTunes/iTunesDB");
    QFile good(db);
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();
    QFile bad(db);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a database at all");
    bad.close();
    machine->setVolumes({path});

    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    EXPECT_FALSE(s.library());
    ASSERT_TRUE(s.loadError());
    EXPECT_TRUE(englishLoadError(s).startsWith(QStringLiteral("Read library failed: ")))
        << qPrintable(englishLoadError(s));

    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(bytes);
    bad.close();
    s.retryLibraryLoad();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.library().has_value(); }));
    EXPECT_FALSE(s.loadError());
    EXPECT_EQ(loadedName(), QStringLiteral("Broken"));
}

TEST_F(StoreTest, ALibraryWithoutAUsableNameRemovesTheStoredName) {
    const QString path = makeVolume(QStringLiteral("Named"), QStringLiteral("Named"));
    machine->setVolumes({path});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    const IPodStore::Selection key = IPodStore::Selection::disk(deviceAt(path).id);
    ASSERT_EQ(s.deviceNames().value(key), QStringLiteral("Named"));

    // The same folder (same identity) now holds a database whose name is blank.
    makeVolume({}, QStringLiteral("   "), {{}}, path);
    s.reloadSelection();
    waitForLoad();
    ASSERT_TRUE(s.library());
    EXPECT_FALSE(s.library()->deviceName);
    EXPECT_FALSE(s.deviceNames().contains(key));
}

TEST_F(StoreTest, EditingImportAndPreviewAreClosedWhileAnOperationHoldsTheDevice) {
    const QString path = makeVolume(QStringLiteral("Busy"), QStringLiteral("Busy"));
    machine->setVolumes({path});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    EXPECT_TRUE(s.canEditLibrary());
    EXPECT_TRUE(s.canCreatePlaylist());
    EXPECT_TRUE(s.canImport());

    const IPodDevice device = deviceAt(path);
    IPodStoreTestAccess::setImportBaseLibrary(s, s.library());
    IPodStoreTestAccess::setActiveDeviceID(s, device.id);
    EXPECT_FALSE(s.canEditLibrary());
    EXPECT_FALSE(s.canCreatePlaylist());
    EXPECT_FALSE(s.canImport());

    s.togglePreview(trackIDs[QStringLiteral("Busy")][0]);
    EXPECT_FALSE(s.previewTrackID());
    s.eject(device);
    TestSupport::drainEvents();
    EXPECT_FALSE(s.alert());
    EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral("/iPod_Control")));

    // Reselecting the busy device shows the snapshot its operation started from, unread.
    s.reloadSelection();
    ASSERT_TRUE(s.library());
    EXPECT_EQ(loadedName(), QStringLiteral("Busy"));
    TestSupport::drainEvents();
    EXPECT_EQ(machine->loadsStarted(), 1);

    IPodStoreTestAccess::setActiveDeviceID(s, std::nullopt);
    EXPECT_TRUE(s.canEditLibrary());
}

TEST_F(StoreTest, StagedTracksFollowTheMainPlaylistOnTheBusyDeviceOnly) {
    const QString path = makeVolume(QStringLiteral("Stage"), QStringLiteral("Stage"),
                                    {{.title = QStringLiteral("M1")},
                                     {.title = QStringLiteral("M2")},
                                     {.title = QStringLiteral("Loose"), .inMainPlaylist = false}});
    const QString other = makeVolume(QStringLiteral("Other"), QStringLiteral("Other"));
    machine->setVolumes({path, other});
    IPodStore& s = makeStore();
    refresh();
    s.setSelection(IPodStore::Selection::disk(deviceAt(path).id));
    waitForLoad();
    ASSERT_EQ(s.library()->tracks.size(), 3);
    ASSERT_FALSE(s.library()->tracks[2].playbackPosition);

    IPodStoreTestAccess::setActiveDeviceID(s, deviceAt(path).id);
    for (const char* title : {"S1", "S2"}) {
        Track staged;
        staged.title = QString::fromLatin1(title);
        IPodStoreTestAccess::appendStagedImportTrack(s, staged);
    }
    QStringList titles;
    for (const Track& t : s.displayedTracks())
        titles.append(t.title);
    EXPECT_EQ(titles, (QStringList{QStringLiteral("M1"), QStringLiteral("M2"), QStringLiteral("S1"),
                                   QStringLiteral("S2"), QStringLiteral("Loose")}));

    s.setSelection(IPodStore::Selection::disk(deviceAt(other).id));
    EXPECT_TRUE(s.stagedTracksForSelection().isEmpty());
}

TEST_F(StoreTest, APreviewOfAMissingFileEndsInTheOneAlert) {
    const QString path = makeVolume(QStringLiteral("Gone"), QStringLiteral("Gone"),
                                    {{.title = QStringLiteral("Lost")}});
    machine->setVolumes({path});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    QDir music(path + QStringLiteral("/iPod_Control/Music"));
    for (const QString& folder : music.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString& f : QDir(music.filePath(folder)).entryList(QDir::Files))
            QFile::remove(music.filePath(folder) + QLatin1Char('/') + f);

    const quint64 track = trackIDs[QStringLiteral("Gone")][0];
    s.togglePreview(track);
    EXPECT_EQ(s.previewTrackID(), track);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.alert().has_value(); }));
    EXPECT_EQ(*s.alert(), IPodPreviewPlayer::failureMessage(AppLanguages::stored()));
    EXPECT_FALSE(s.previewTrackID());
    EXPECT_FALSE(s.isPreviewPlaying());
}

TEST_F(StoreTest, ASelectionChangeStopsALoadingPreviewSilently) {
    const QString a = makeVolume(QStringLiteral("PA"), QStringLiteral("PA"));
    const QString b = makeVolume(QStringLiteral("PB"), QStringLiteral("PB"));
    machine->setVolumes({a, b});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    s.togglePreview(trackIDs[QStringLiteral("PA")][0]);
    ASSERT_TRUE(s.previewTrackID());
    s.setSelection(IPodStore::Selection::disk(deviceAt(b).id));
    EXPECT_FALSE(s.previewTrackID());
    waitForLoad();
    TestSupport::drainEvents();
    EXPECT_FALSE(s.previewTrackID());
    EXPECT_FALSE(s.isPreviewPlaying());
}

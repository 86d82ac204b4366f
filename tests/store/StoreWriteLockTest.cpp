// Two processes on one iPod: while another process is inside its save, the store's edit,
// import, delete and new playlist change nothing on the iPod and each ends with one alert that
// says it was not done because the iPod is in use; once that process ends, however it ends, the
// store writes again and every listed track keeps its file.

#include "StoreFixture.h"

#include "library/IPodDatabase.h"
#include "platform/Settings.h"

#include <QProcess>
#include <QSignalSpy>

#include <functional>

namespace {

const QString inUse =
    QStringLiteral("The iPod is in use by another program. Quit that program, then try again.");

class StoreWriteLock : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        path = makeVolume(QStringLiteral("Pod"), QStringLiteral("Pod"),
                          {{.title = QStringLiteral("A")},
                           {.title = QStringLiteral("B")},
                           {.title = QStringLiteral("C")}});
        machine->setVolumes({path});
        makeStore();
        refresh();
        waitForLoad();
        ASSERT_TRUE(store->library());
        device = deviceAt(path);
    }

    // A file outside the iPod, with the name and bytes given.
    QString sourceFile(const QString& name, const QByteArray& bytes) const {
        const QString file = root + QLatin1Char('/') + name;
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        return file;
    }

    // The other process, held inside its save of the iPod.
    std::unique_ptr<QProcess> holdInSave(const QString& audio) {
        auto holder = std::make_unique<QProcess>();
        holder->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder->start(QStringLiteral(LORVANEL_SAVE_HOLDER_PATH), {path, audio});
        while (!holder->canReadLine() && holder->waitForReadyRead(60'000)) {
        }
        EXPECT_EQ(holder->readLine(), "held\n");
        return holder;
    }

    // Runs one operation of the store to its end, reload included; the alerts it set.
    QStringList run(const std::function<void()>& start) {
        QStringList alerts;
        const QObject watching;
        QObject::connect(store.get(), &IPodStore::alertChanged, &watching,
                         [&] { alerts.append(store->alert().value_or(QString())); });
        QSignalSpy loads(store.get(), &IPodStore::libraryChanged);
        start();
        EXPECT_TRUE(store->activeDeviceID());
        EXPECT_TRUE(TestSupport::waitUntil(
            [&] { return !store->activeDeviceID() && loads.count() > 0 && store->library(); }));
        return alerts;
    }

    void editTitleOfFirstTrack(const QString& title) {
        store->saveTrackMetadata(store->library()->tracks.first().id, {title, {}, {}, {}, {}},
                                 device.id);
    }

    // The titles of the library on the iPod; each listed track's file must be there.
    QStringList listedTitlesWithTheirFiles() const {
        const IPodDatabase reading(path, std::nullopt, {}, {}, false, SessionAccess::reading);
        QStringList titles;
        for (const Track& track : reading.loadTracks()) {
            titles.append(track.title);
            EXPECT_TRUE(QFile::exists(reading.fileURL(track.id))) << qPrintable(track.title);
        }
        return titles;
    }

    QString path;
    IPodDevice device;
};

} // namespace

TEST_F(StoreWriteLock, WhileAnotherProcessSavesNoWriteOfTheStoreChangesAnything) {
    const QString held = sourceFile(QStringLiteral("held.mp3"), "the other's audio");
    const QString imported = sourceFile(QStringLiteral("new.mp3"), "an import's audio");
    const std::unique_ptr<QProcess> holder = holdInSave(held);
    const QString inFlight = path + QStringLiteral("/iPod_Control/iTunes/iTunesDB.HELD00");
    ASSERT_TRUE(QFile::exists(inFlight));
    const auto before = TestSupport::snapshotTree(path);

    const quint64 first = store->library()->tracks.first().id;
    const struct {
        const char* write;
        std::function<void()> start;
        QString notDone;
    } writes[] = {
        {"edit", [&] { editTitleOfFirstTrack(QStringLiteral("Edited")); },
         QStringLiteral("Save the track info of “A” failed: ")},
        {"import", [&] { store->startImport({imported}, device.id); },
         QStringLiteral("Nothing was imported: ")},
        {"delete", [&] { store->deleteTracks({first}, device.id); },
         QStringLiteral("Delete “A” failed: ")},
        {"playlist", [&] { store->createPlaylist(QStringLiteral("List"), {first}, device.id); },
         QStringLiteral("Create playlist “List” failed: ")},
    };
    for (const auto& write : writes) {
        SCOPED_TRACE(write.write);
        EXPECT_EQ(run(write.start), QStringList{write.notDone + inUse});
    }
    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("zh-Hans"));
    const QString inUseZh = QStringLiteral("此 iPod 正被另一个程序使用。请退出该程序后再试。");
    EXPECT_EQ(run(writes[0].start),
              QStringList{QStringLiteral("保存“A”的曲目信息失败：") + inUseZh});
    EXPECT_EQ(run(writes[1].start), QStringList{QStringLiteral("未导入任何歌曲：") + inUseZh});
    Settings::shared().setValue(Settings::Keys::appLanguage, QStringLiteral("en"));
    EXPECT_TRUE(QFile::exists(inFlight)) << "the other's in-flight database was removed";
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(path))
                  .join(QLatin1Char('\n'))
                  .toStdString(),
              "");

    holder->closeWriteChannel();
    ASSERT_TRUE(holder->waitForFinished(60'000));
    EXPECT_EQ(holder->exitCode(), 0);
    EXPECT_EQ(listedTitlesWithTheirFiles(), (QStringList{"A", "B", "Held"}));
    EXPECT_EQ(run([&] { editTitleOfFirstTrack(QStringLiteral("Edited")); }), QStringList());
    EXPECT_EQ(listedTitlesWithTheirFiles(), (QStringList{"Edited", "B", "Held"}));
}

TEST_F(StoreWriteLock, AnotherProcessKilledInsideItsSaveLetsTheStoreWriteAgain) {
    const std::unique_ptr<QProcess> holder =
        holdInSave(sourceFile(QStringLiteral("held.mp3"), "the other's audio"));
    holder->kill();
    ASSERT_TRUE(holder->waitForFinished(60'000));
    EXPECT_EQ(run([&] { editTitleOfFirstTrack(QStringLiteral("Edited")); }), QStringList());
    EXPECT_EQ(listedTitlesWithTheirFiles(), (QStringList{"Edited", "B", "C"}));
}

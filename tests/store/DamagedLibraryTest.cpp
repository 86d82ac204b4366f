// Damaged databases opened through the store: the load ends with the library pane's error, the
// application lives on, nothing on the volume changes, and the next healthy iPod loads; a reader
// that crashes is one more load error, and "Retry" reads again at once.

#include "StoreFixture.h"

#include "library/DatabasePreflight.h"
#include "support/DamagedDatabases.h"

#include <QFile>
#include <QScopeGuard>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

const QString iTunesDB = QStringLiteral("/iPod_Control/iTunes/iTunesDB");
const QString iTunesCDB = QStringLiteral("/iPod_Control/iTunes/iTunesCDB");

class DamagedLibraryTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        broken = makeVolume(QStringLiteral("Broken"), QStringLiteral("Broken"),
                            {{.title = QStringLiteral("A"), .artwork = true},
                             {.title = QStringLiteral("B"), .genre = QStringLiteral("Jazz")}});
        healthy = makeVolume(QStringLiteral("Healthy"), QStringLiteral("Healthy"));
        good = read(broken + iTunesDB);
        machine->setVolumes({broken, healthy});
        makeStore();
        refresh();
        waitForLoad();
        load(healthy);
    }

    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    // Selects the volume at path and waits for its load to end.
    void load(const QString& path) {
        store->setSelection(IPodStore::Selection::disk(deviceAt(path).id));
        waitForLoad();
    }
    std::string loadError() const {
        return store->loadErrorDescription(AppLanguage::english).toStdString();
    }

    // Opens the broken volume as it is now: the load fails, nothing on it changes, and the
    // healthy one loads after it.
    void expectRefusedAndHealthyNext(const std::string& label) {
        SCOPED_TRACE(label);
        const auto before = TestSupport::snapshotTree(broken);
        load(broken);
        EXPECT_FALSE(store->library());
        EXPECT_EQ(loadError().rfind("Read library failed: ", 0), 0u) << loadError();
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(broken)),
                  QStringList());
        load(healthy);
        ASSERT_TRUE(store->library()) << loadError();
        EXPECT_EQ(loadedName(), QStringLiteral("Healthy"));
    }

    QString broken;
    QString healthy;
    QByteArray good;
};

} // namespace

TEST_F(DamagedLibraryTest, EachDamagedDatabaseEndsInTheLoadErrorAndTheNextIPodLoads) {
    // Every length that leaves its record, once per kind of record, and the file cut short.
    QSet<QString> kinds;
    int tried = 0;
    for (const auto& copy : TestSupport::damagedCopies(good)) {
        const QString kind = copy.label.section(u'@', 0, 0);
        const bool cut = copy.label.startsWith(QStringLiteral("cut"));
        if (!copy.leavesItsRecord || (!cut && kinds.contains(kind)))
            continue;
        kinds.insert(kind);
        write(broken + iTunesDB, copy.bytes);
        expectRefusedAndHealthyNext(copy.label.toStdString());
        ++tried;
    }
    EXPECT_GT(tried, 20);

    // Lengths that hold but that libgpod refuses (one of them hands back a database along with
    // an error).
    for (const auto& [tag, offset] : {std::pair{QByteArray("mhyp"), 16}, {"mhod", 4}}) {
        QByteArray bytes = good;
        for (const auto& spot : TestSupport::findRecords(bytes)) {
            if (spot.tag == tag && spot.offset > 0) {
                TestSupport::writeUInt32(bytes, spot.offset + offset,
                                         TestSupport::readUInt32(bytes, spot.offset + offset) + 1);
                break;
            }
        }
        write(broken + iTunesDB, bytes);
        expectRefusedAndHealthyNext(tag.toStdString());
    }
    write(broken + iTunesDB, good);

    // A compressed database whose stream ends early (libgpod would loop forever) and one that
    // inflates to far more than it is.
    QByteArray header = good.left(TestSupport::readUInt32(good, 4));
    header[168] = 1;
    const QByteArray records = good.mid(header.size());
    QByteArray cdb = header + qCompress(records).mid(4);
    TestSupport::writeUInt32(cdb, 8, quint32(cdb.size()));
    for (const QByteArray& bytes : {TestSupport::truncatedStreamCDB(cdb),
                                    TestSupport::inflationBombCDB(cdb, qsizetype(140) << 20)}) {
        write(broken + iTunesCDB, bytes);
        expectRefusedAndHealthyNext("iTunesCDB");
    }
    QFile::remove(broken + iTunesCDB);
    load(broken);
    ASSERT_TRUE(store->library()) << loadError();
    EXPECT_EQ(store->library()->tracks.size(), 2);
}

TEST_F(DamagedLibraryTest, AReaderThatCrashesShowsTheLoadErrorAndRetryReadsAgain) {
    const QByteArray helper = qgetenv("LORVANEL_OPEN_HELPER");
    const auto restore = qScopeGuard([&] { qputenv("LORVANEL_OPEN_HELPER", helper); });
    QTemporaryDir scripts;
    const QString crashing = scripts.filePath(QStringLiteral("crash.sh"));
    write(crashing, "#!/bin/sh\nkill -SEGV $$\n");
    QFile::setPermissions(crashing, QFile::ReadOwner | QFile::ExeOwner);

    // A changed database is read again by the (now crashing) reader.
    const QByteArray path = QFile::encodeName(broken + iTunesDB);
    const utimbuf times{1000000000, 1000000000};
    ASSERT_EQ(::utime(path.constData(), &times), 0);
    qputenv("LORVANEL_OPEN_HELPER", QFile::encodeName(crashing));
    load(broken);
    EXPECT_FALSE(store->library());
    EXPECT_EQ(loadError(),
              "Read library failed: The library database is damaged and could not be read.");

    qputenv("LORVANEL_OPEN_HELPER", helper);
    store->retryLibraryLoad();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->library().has_value(); }))
        << loadError();
    EXPECT_EQ(loadedName(), QStringLiteral("Broken"));
}

TEST_F(DamagedLibraryTest, AFIFOInPlaceOfTheDatabaseIsRefusedAndNothingWaitsOnIt) {
    ASSERT_TRUE(QFile::remove(broken + iTunesDB));
    const QByteArray fifo = QFile::encodeName(broken + iTunesDB);
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const auto remove = qScopeGuard([&] { ::unlink(fifo.constData()); });
    // The volume is looked at afresh (its model too) with the FIFO in place.
    refresh();
    waitForLoad();
    expectRefusedAndHealthyNext("FIFO");
    load(broken);
    EXPECT_EQ(loadError(), "Read library failed: The iTunesDB file is damaged.");

    ::unlink(fifo.constData());
    write(broken + iTunesDB, good);
    store->retryLibraryLoad();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->library().has_value(); }))
        << loadError();
    EXPECT_EQ(store->library()->tracks.size(), 2);
}

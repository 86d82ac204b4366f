// The write blocker against real volumes whose SysInfoExtended is edited.

#include "../device/TestVolumes.h"
#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using TestSupport::IPodVolume;
using TestSupport::sysInfoExtendedXML;
using Entries = QList<std::pair<QString, QVariant>>;

namespace {

std::optional<IPodDatabaseError> blockerWith(IPodVolume& volume,
                                             const std::optional<QByteArray>& sysInfoExtended) {
    const QString path = QStringLiteral("iPod_Control/Device/SysInfoExtended");
    if (volume.exists(path))
        volume.removeFile(path);
    if (sysInfoExtended)
        volume.writeSysInfoExtended(*sysInfoExtended);
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
    return database.writeBlocker();
}

const std::optional<IPodDatabaseError> editable;
const IPodDatabaseError unsupported = IPodDatabaseError::unsupportedDatabase();
const IPodDatabaseError invalidGUID = IPodDatabaseError::invalidFireWireID();
const QString guid = QStringLiteral("0x000A2700138B0D2E");

// An environment variable set for the scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QString& value)
        : name_(name)
        , was_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt) {
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedVariable() {
        if (was_)
            qputenv(name_, *was_);
        else
            qunsetenv(name_);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<QByteArray> was_;
};

} // namespace

TEST(WriteBlocker, SecondGenerationShuffle) {
    IPodVolume volume(QStringLiteral("MA546"));
    volume.write();
    EXPECT_EQ(blockerWith(volume, std::nullopt), editable);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3}})),
              unsupported);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 2},
                                                      {QStringLiteral("ShadowDBVersion"), 1}})),
              editable);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 2},
                                                      {QStringLiteral("ShadowDBVersion"), 2}})),
              unsupported);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("DBVersion"), -1}})),
              unsupported); // unsigned
    EXPECT_EQ(blockerWith(volume,
                          sysInfoExtendedXML({{QStringLiteral("DBVersion"), QStringLiteral("2")}})),
              editable);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML(
                                      {{QStringLiteral("ShadowDBVersion"), QStringLiteral("x")}})),
              editable); // not an integer reads as 0
}

TEST(WriteBlocker, ThirdGenerationShuffle) {
    IPodVolume volume(QStringLiteral("MC306"));
    volume.write();
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("ShadowDBVersion"), 2}})),
              editable);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("ShadowDBVersion"), 1}})),
              unsupported);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("ShadowDBVersion"), -2}})),
              unsupported);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("SQLiteDB"), true},
                                                      {QStringLiteral("DBVersion"), 1}})),
              unsupported);
    EXPECT_EQ(blockerWith(volume, sysInfoExtendedXML({{QStringLiteral("SQLiteDB"), false},
                                                      {QStringLiteral("DBVersion"), 1}})),
              editable);
}

TEST(WriteBlocker, ThirdAndFourthGenerationNanoNeedAFireWireID) {
    IPodVolume nano3(QStringLiteral("MA978"));
    nano3.write();
    EXPECT_EQ(blockerWith(nano3, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3},
                                                     {QStringLiteral("FireWireGUID"), guid}})),
              editable);
    EXPECT_EQ(blockerWith(nano3, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3},
                                                     {QStringLiteral("FireWireGUID"),
                                                      QStringLiteral("0x0000000000000000")}})),
              invalidGUID);
    EXPECT_EQ(blockerWith(nano3, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 3}})),
              invalidGUID);
    EXPECT_EQ(blockerWith(nano3, sysInfoExtendedXML({{QStringLiteral("DBVersion"), 4},
                                                     {QStringLiteral("FireWireGUID"), guid}})),
              unsupported);
    EXPECT_EQ(blockerWith(nano3, sysInfoExtendedXML({{QStringLiteral("FireWireGUID"), guid}})),
              unsupported);
    EXPECT_EQ(blockerWith(nano3, std::nullopt), editable); // the SysInfo's FirewireGuid

    IPodVolume nano4(QStringLiteral("MB480"));
    nano4.write();
    nano4.writeSysInfo("ModelNumStr: MB480\n");
    EXPECT_EQ(blockerWith(nano4, std::nullopt), invalidGUID);
}

TEST(WriteBlocker, HostileSysInfoExtendedBlocksWithoutCrashing) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.write();
    const QByteArray deep =
        QByteArray("<plist><dict><key>a</key>").repeated(1) + QByteArray("<array>").repeated(2000);
    const std::vector<QByteArray> hostile{
        QByteArray(),
        QByteArray("not a property list"),
        QByteArray("<?xml version=\"1.0\"?><plist><array><string>x</string></array></plist>"),
        QByteArray("<plist><dict><key>DBVersion</key><integer>99999999999999999999999</integer>"),
        QByteArray("bplist00") + QByteArray(64, '\xFF'),
        deep,
        sysInfoExtendedXML({{QStringLiteral("DBVersion"), 2}}).left(120),
        QByteArray(5000, '\0'),
    };
    const IPodDatabaseError unreadable = IPodDatabaseError::unreadableDeviceDescription(
        QStringLiteral("iPod_Control/Device/SysInfoExtended"));
    for (const QByteArray& bytes : hostile) {
        EXPECT_EQ(blockerWith(volume, bytes), unreadable) << bytes.toStdString();
        EXPECT_FALSE(IPodDatabase::serialNumber(bytes));
        EXPECT_FALSE(IPodDatabase::firmwareVersion(bytes));
    }
}

TEST(WriteBlocker, ITunesCDBBlocksBeforeTheGenerationIsLookedAt) {
    IPodVolume volume(QStringLiteral("MA546"));
    volume.write();
    volume.writeITunesCDBFromITunesDB();
    EXPECT_EQ(blockerWith(volume, std::nullopt), unsupported);
}

TEST(WriteBlocker, ClassicNeedsAHashLibgpodCanWrite) {
    IPodVolume volume(QStringLiteral("MB029"));
    volume.write();
    EXPECT_EQ(blockerWith(volume, std::nullopt), editable);
    volume.writeSysInfo("ModelNumStr: MB029\nFirewireGuid: 0x0000000000000000\n");
    EXPECT_EQ(blockerWith(volume, std::nullopt), unsupported);
    volume.writeSysInfo("ModelNumStr: MB029\n");
    EXPECT_EQ(blockerWith(volume, std::nullopt), unsupported);
}

// A classic whose description says its library is kept in SQLite is refused as the nano is,
// whether the description is on the volume or read over USB.
TEST(WriteBlocker, ClassicWithASQLiteLibraryIsUnsupported) {
    IPodVolume volume(QStringLiteral("MB029"));
    volume.write();
    for (const bool sqlite : {false, true}) {
        const QByteArray xml = sysInfoExtendedXML(
            {{QStringLiteral("SQLiteDB"), sqlite},
             {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
             {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")}});
        const std::optional<IPodDatabaseError> expected =
            sqlite ? std::optional(unsupported) : editable;
        EXPECT_EQ(blockerWith(volume, xml), expected) << "on the volume";
        volume.removeFile(QStringLiteral("iPod_Control/Device/SysInfoExtended"));
        const IPodDatabase overUSB(volume.mountPoint(), xml,
                                   [] { return std::optional<int>(0x1261); });
        EXPECT_EQ(overUSB.writeBlocker(), expected) << "over USB";
    }
}

TEST(WriteBlocker, FireWireGUIDForms) {
    EXPECT_TRUE(isValidFireWireGUID(QStringLiteral("0X000a2700138b0d2e")));
    EXPECT_TRUE(isValidFireWireGUID(QStringLiteral("000A2700138B0D2E")));
    EXPECT_FALSE(isValidFireWireGUID(QStringLiteral("0x000A2700138B0D2")));   // 15 digits
    EXPECT_FALSE(isValidFireWireGUID(QStringLiteral("0x000A2700138B0D2E0"))); // 17 digits
    EXPECT_FALSE(isValidFireWireGUID(QStringLiteral("0x000A2700138B0D2G")));
    EXPECT_FALSE(isValidFireWireGUID(QStringLiteral("0000000000000000")));
    EXPECT_FALSE(
        isValidFireWireGUID(QStringLiteral("0x000A2700138B0D2é"))); // 16 characters, 17 bytes
    EXPECT_FALSE(isValidFireWireGUID(QString()));
    EXPECT_FALSE(isValidFireWireGUID(std::nullopt));
}

TEST(WriteBlocker, ClassicChecksItsHashWhereverItCanWrite) {
    QTemporaryDir root;
    const QString runtime = root.filePath(QStringLiteral("runtime"));
    const QString cache = root.filePath(QStringLiteral("cache"));
    ASSERT_TRUE(QDir().mkpath(runtime) && QDir().mkpath(cache));
    // Nothing can be made below a file, not even by root.
    const QString file = root.filePath(QStringLiteral("file"));
    {
        QFile made(file);
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    const QString underFile = file + QStringLiteral("/tmp");
    // A read-only tmpfs, and a full one (which still takes a new folder, but no file in it).
    std::unique_ptr<TestVolumes::Mount> readOnlyMount, fullMount;
    if (TestVolumes::whyMountsAreUnavailable().isEmpty()) {
        readOnlyMount = TestVolumes::Mount::tmpfs(root.filePath(QStringLiteral("read-only")),
                                                  QStringLiteral("size=64k"));
        ASSERT_TRUE(readOnlyMount && readOnlyMount->remount(QStringLiteral("ro")));
        fullMount = TestVolumes::Mount::tmpfs(root.filePath(QStringLiteral("full")),
                                              QStringLiteral("size=64k"));
        ASSERT_TRUE(fullMount);
        ASSERT_FALSE(TestVolumes::fillVolume(fullMount->path(), 0).isEmpty());
    }
    const QString readOnly = readOnlyMount ? readOnlyMount->path() : underFile;
    const QString full = fullMount ? fullMount->path() : underFile;
    using Reason = ScratchFolder::Refusal::Reason;
    // The reason names each place tried, and whether it was full or could not be written.
    const IPodDatabaseError nowhere = IPodDatabaseError::noScratchSpace(
        {{full, fullMount ? Reason::full : Reason::unwritable},
         {readOnly, Reason::unwritable},
         {underFile + QStringLiteral("/Lorvanel"), Reason::unwritable}});

    struct Case {
        const char* name;
        QString temporary, runtime, cache;
        std::optional<IPodDatabaseError> blocker;
    };
    const Case cases[] = {
        {"temporary folder read-only", readOnly, runtime, cache, editable},
        {"temporary and runtime folders full", full, full, cache, editable},
        {"temporary folder missing", underFile, readOnly, cache, editable},
        {"nowhere to write", full, readOnly, underFile, nowhere},
    };
    IPodVolume classic(QStringLiteral("MB029"));
    classic.write();
    IPodVolume nano(QStringLiteral("MA477"));
    nano.write();
    nano.removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A FireWire ID of its own: a verified one is remembered for the process.
        classic.writeSysInfo("ModelNumStr: MB029\nFirewireGuid: 0x000A2700138B0D3" +
                             QByteArray::number(index++) + '\n');
        {
            const ScopedVariable temporary("TMPDIR", c.temporary);
            const ScopedVariable runtimeFolder("XDG_RUNTIME_DIR", c.runtime);
            const ScopedVariable cacheFolder("XDG_CACHE_HOME", c.cache);
            EXPECT_EQ(blockerWith(classic, std::nullopt), c.blocker);
            if (c.blocker)
                continue;
            // A forced model's private mount point goes the same way.
            int generation = 0;
            EXPECT_NO_THROW(generation = IPodDatabase(nano.mountPoint(), std::nullopt, [] {
                                             return std::optional<int>(0x1260);
                                         }).generation());
            EXPECT_EQ(generation, 13);
        }
        for (const QString& place : {runtime, cache + QStringLiteral("/Lorvanel")})
            EXPECT_EQ(QDir(place).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                      QStringList());
    }
}

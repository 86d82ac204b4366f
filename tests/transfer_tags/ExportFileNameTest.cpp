#include "transfer/ExportFileName.h"

#include "TagTestSupport.h"
#include "support/FatStick.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace TagTest;

namespace {

const QString ipodFile = QStringLiteral("/media/IPOD/iPod_Control/Music/F07/KQXZ.mp3");

// Runs a tool with its output discarded (fusefat's daemon would otherwise hold the test's
// output open); true when it exits 0.
QString base(const QString& name) {
    return exportBaseName(name, ipodFile);
}

} // namespace

TEST(ExportBaseName, UnsafeCharactersBecomeOneHyphenEach) {
    EXPECT_EQ(base(QStringLiteral("AC/DC: Live")), QStringLiteral("AC-DC- Live"));
    EXPECT_EQ(base(QStringLiteral("a\tb\nc\x7F"
                                  "d\u0085e\x01")),
              QStringLiteral("a-b-c-d-e-"));
    EXPECT_EQ(base(QStringLiteral("What? <Live> \"Mix\" *|\\")),
              QStringLiteral("What- -Live- -Mix- ---"));
    // Characters that are only unusual, not unsafe, stay: format characters such as the joiner
    // inside an emoji sequence, and everything beyond the basic plane.
    EXPECT_EQ(base(QStringLiteral("👩\u200D💻 𝄞")), QStringLiteral("👩\u200D💻 𝄞"));
}

TEST(ExportBaseName, TrimsBlanksAndDotsAtTheEndsOnly) {
    EXPECT_EQ(base(QStringLiteral("  . My.Song  Title .\u00A0\u3000")),
              QStringLiteral("My.Song  Title"));
    EXPECT_EQ(base(QStringLiteral(" / / ")), QStringLiteral("- -")) << "a hyphen is not trimmed";
    EXPECT_EQ(base(QStringLiteral(" .. . ")), QStringLiteral("KQXZ"));
    EXPECT_EQ(base(QString()), QStringLiteral("KQXZ"));
    EXPECT_EQ(exportBaseName(QString(), QStringLiteral("/x/F00/AB.CD.m4a")),
              QStringLiteral("AB.CD"));
}

TEST(ExportBaseName, CutsTo180BytesWithoutSplittingACharacter) {
    EXPECT_EQ(base(QString(200, QLatin1Char('a'))), QString(180, QLatin1Char('a')));
    EXPECT_EQ(base(QString(90, QChar(0x00E9))), QString(90, QChar(0x00E9)))
        << "90 two-byte characters are exactly 180 bytes";
    EXPECT_EQ(base(QString(100, QChar(0x00E9))), QString(90, QChar(0x00E9)));
    // 179 bytes, then a cluster of 'e' and a combining accent (3 bytes): dropped whole.
    const QString accent = QString(179, QLatin1Char('a')) + QStringLiteral("e\u0301");
    EXPECT_EQ(base(accent), QString(179, QLatin1Char('a')));
    // A family emoji (25 bytes joined by zero-width joiners) straddling the limit is dropped
    // whole rather than cut into its members.
    const QString family = QStringLiteral("👨\u200D👩\u200D👧\u200D👦");
    const QString text = QString(170, QLatin1Char('b')) + family + QStringLiteral("tail");
    EXPECT_EQ(base(text), QString(170, QLatin1Char('b')));
    const QString fits = QString(155, QLatin1Char('b')) + family;
    EXPECT_EQ(base(fits + QStringLiteral("z")), fits);
}

namespace {

class ExportFileName : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString destination;
    QString work;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        useDestination(dir.path());
    }
    void useDestination(const QString& folder) {
        destination = folder;
        work = folder + QStringLiteral("/.lorvanel-export-test/Audio");
        ASSERT_TRUE(QDir().mkpath(work));
    }
    QString finished(const QByteArray& contents) {
        const QString path = work + QStringLiteral("/scratch");
        writeFile(path, contents);
        return path;
    }
    QString exportAs(const QString& title, const QByteArray& contents,
                     const QString& extension = QStringLiteral("mp3")) {
        const QString scratch = finished(contents);
        const QString target = exportFileName(scratch, title, ipodFile, extension, destination);
        EXPECT_FALSE(QFile::exists(scratch)) << "the finished file is moved, not copied";
        EXPECT_EQ(readFile(target), contents);
        return target;
    }
};

} // namespace

TEST_F(ExportFileName, CollisionsAreNumberedAndNothingIsOverwritten) {
    writeFile(destination + QStringLiteral("/Song.mp3"), "first");
    writeFile(destination + QStringLiteral("/Song (2).mp3"), "second");
    EXPECT_EQ(exportAs(QStringLiteral("Song"), "third"),
              destination + QStringLiteral("/Song (3).mp3"));
    EXPECT_EQ(readFile(destination + QStringLiteral("/Song.mp3")), "first");
    EXPECT_EQ(readFile(destination + QStringLiteral("/Song (2).mp3")), "second");
    EXPECT_EQ(exportAs(QStringLiteral("Song"), "fourth"),
              destination + QStringLiteral("/Song (4).mp3"));
    // A dangling symbolic link is an existing name too, and is left alone.
    ASSERT_EQ(::symlink("/nonexistent", QFile::encodeName(destination + "/Link.m4a").constData()),
              0);
    EXPECT_EQ(exportAs(QStringLiteral("Link"), "x", QStringLiteral("m4a")),
              destination + QStringLiteral("/Link (2).m4a"));
    EXPECT_EQ(QFile::symLinkTarget(destination + QStringLiteral("/Link.m4a")),
              QStringLiteral("/nonexistent"));
    // No extension, no dot; "%" in a title is no placeholder.
    EXPECT_EQ(exportAs(QStringLiteral("100%1"), "y", QString()), destination + "/100%1");
    EXPECT_EQ(exportAs(QStringLiteral("100%1"), "z", QString()), destination + "/100%1 (2)");
}

TEST_F(ExportFileName, FailuresCarryTheErrorNumberAndTarget) {
    const QString scratch = finished("data");
    try {
        exportFileName(scratch, QStringLiteral("T"), ipodFile, QStringLiteral("mp3"),
                       destination + QStringLiteral("/missing"));
        FAIL() << "no error";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOENT);
        EXPECT_NE(std::string(error.what()).find("/missing/T.mp3"), std::string::npos);
    }
    EXPECT_TRUE(QFile::exists(scratch)) << "a failed move keeps the finished file";
}

// A FAT stick through fusefat: it refuses RENAME_NOREPLACE, hard links and names with ? " < >
// and the like, which the naming must all get around.
TEST_F(ExportFileName, WorksOnAFatFileSystem) {
    TestSupport::FatStick fat(dir.filePath(QStringLiteral("stick")), 8);
    if (!fat.mounted())
        GTEST_SKIP() << fat.skipReason().toStdString();
    const QString mountPoint = fat.mountPoint();

    useDestination(mountPoint);
    // The fallback is really taken here.
    const QByteArray probeA = QFile::encodeName(mountPoint + "/a");
    const QByteArray probeB = QFile::encodeName(mountPoint + "/b");
    writeFile(mountPoint + "/a", "p");
    EXPECT_EQ(
        ::renameat2(AT_FDCWD, probeA.constData(), AT_FDCWD, probeB.constData(), RENAME_NOREPLACE),
        -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(::unlink(probeA.constData()), 0);

    const QString title = QStringLiteral("What? <Live> \"Mix\" a/b c:d");
    const QString expected = mountPoint + QStringLiteral("/What- -Live- -Mix- a-b c-d");
    EXPECT_EQ(exportAs(title, "one"), expected + QStringLiteral(".mp3"));
    EXPECT_EQ(exportAs(title, "two"), expected + QStringLiteral(" (2).mp3"));
    EXPECT_EQ(exportAs(title, "three"), expected + QStringLiteral(" (3).mp3"));
    EXPECT_EQ(readFile(expected + QStringLiteral(".mp3")), "one");
    EXPECT_EQ(readFile(expected + QStringLiteral(" (2).mp3")), "two");
    const QStringList files = QDir(mountPoint).entryList({QStringLiteral("*.mp3")}, QDir::Files);
    EXPECT_EQ(files.size(), 3) << files.join(QLatin1Char('|')).toStdString();
}

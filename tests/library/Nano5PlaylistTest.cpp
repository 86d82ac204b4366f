#include "library/Nano5Playlist.h"
#include "library/IPodDatabaseError.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QFile>

#include <system_error>

using TestSupport::IPodVolume;

namespace {

const QString itunes = QStringLiteral("iPod_Control/iTunes/");

bool refused(const QString& path) {
    try {
        Nano5Playlist::readDatabaseFile(path);
    } catch (const IPodDatabaseError& error) {
        return error.errorCase() == IPodDatabaseError::Case::unsupportedDatabase;
    }
    return false;
}

} // namespace

TEST(Nano5Playlist, DatabaseFilesInWriterOrder) {
    EXPECT_EQ(Nano5Playlist::productID, 0x1265);
    EXPECT_EQ(Nano5Playlist::databaseFiles(),
              (QStringList{QStringLiteral("iTunesCDB"),
                           QStringLiteral("iTunes Library.itlp/Library.itdb"),
                           QStringLiteral("iTunes Library.itlp/Dynamic.itdb"),
                           QStringLiteral("iTunes Library.itlp/Locations.itdb"),
                           QStringLiteral("iTunes Library.itlp/Locations.itdb.cbk")}));
}

TEST(Nano5Playlist, GuardedReadRefusesLinksSidecarsAndFolders) {
    const auto volume = IPodVolume::emptyFolder();
    volume->writeFile(itunes + QStringLiteral("iTunesCDB"), "cdb bytes");
    const QString cdb = volume->path(itunes + QStringLiteral("iTunesCDB"));
    EXPECT_EQ(Nano5Playlist::readDatabaseFile(cdb), QByteArray("cdb bytes"));
    for (const char* sidecar : {"-wal", "-shm", "-journal"}) {
        volume->writeFile(itunes + QStringLiteral("iTunesCDB") + QLatin1String(sidecar), "");
        EXPECT_TRUE(refused(cdb)) << sidecar;
        volume->removeFile(itunes + QStringLiteral("iTunesCDB") + QLatin1String(sidecar));
    }
    ASSERT_TRUE(QFile::link(cdb, volume->path(itunes + QStringLiteral("link"))));
    EXPECT_TRUE(refused(volume->path(itunes + QStringLiteral("link"))));
    EXPECT_TRUE(refused(volume->path(QStringLiteral("iPod_Control"))));
    EXPECT_THROW(Nano5Playlist::readDatabaseFile(volume->path(itunes + QStringLiteral("missing"))),
                 std::system_error);
}

TEST(Nano5Playlist, SnapshotAndImportNeedTheirFiles) {
    const auto volume = IPodVolume::emptyFolder();
    const QString root = volume->mountPoint();
    for (const QString& name : Nano5Playlist::databaseFiles())
        volume->writeFile(itunes + name, name.toUtf8());
    EXPECT_TRUE(Nano5Playlist::canImport(root));
    EXPECT_EQ(Nano5Playlist::databaseSnapshot(root), QByteArray("iTunesCDB"));

    volume->removeFile(itunes + Nano5Playlist::databaseFiles()[4]);
    EXPECT_FALSE(Nano5Playlist::canImport(root));
    EXPECT_TRUE(Nano5Playlist::databaseSnapshot(root));

    volume->removeFile(itunes + QStringLiteral("iTunesCDB"));
    ASSERT_TRUE(QFile::link(volume->path(itunes + Nano5Playlist::databaseFiles()[3]),
                            volume->path(itunes + QStringLiteral("iTunesCDB"))));
    EXPECT_FALSE(Nano5Playlist::databaseSnapshot(root)); // a link is refused

    volume->removeFile(itunes + Nano5Playlist::databaseFiles()[2]);
    volume->removeFile(itunes + QStringLiteral("iTunesCDB"));
    volume->writeFile(itunes + QStringLiteral("iTunesCDB"), "cdb");
    EXPECT_FALSE(Nano5Playlist::databaseSnapshot(root)); // Dynamic.itdb missing
}

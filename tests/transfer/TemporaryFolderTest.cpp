#include "transfer/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

TEST(TemporaryFolder, IsPrivateAndGoesWithItsFilesWhenTheScopeEnds) {
    QString path;
    {
        const TemporaryFolder folder;
        path = folder.path();
        const QFileInfo info(path);
        ASSERT_TRUE(info.isDir());
        EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
        ASSERT_TRUE(QDir(path).mkpath(QStringLiteral("nested")));
        QFile file(QDir(path).filePath(QStringLiteral("nested/converted.m4a")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("data");
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(TemporaryFolder, GoesAlsoWhenTheScopeIsLeftByAnError) {
    QString path;
    try {
        const TemporaryFolder folder;
        path = folder.path();
        throw std::runtime_error("import failed");
    } catch (const std::runtime_error&) {
    }
    ASSERT_FALSE(path.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(TemporaryFolder, TwoFoldersNeverShareAPath) {
    const TemporaryFolder a;
    const TemporaryFolder b;
    EXPECT_NE(a.path(), b.path());
}

} // namespace

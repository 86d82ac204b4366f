#include "library/Nano5Locations.h"
#include "library/Nano5Error.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

using namespace Nano5Playlist;

namespace {

QByteArray sha1(QByteArrayView bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

QByteArray blocks(int count) {
    QByteArray bytes;
    for (int i = 0; i < count * 1024; ++i)
        bytes.append(static_cast<char>((i * 7 + i / 1024) & 0xFF));
    return bytes;
}

} // namespace

TEST(Nano5LocationsTest, OneBlockGivesEightySixBytes) {
    const QByteArray database = blocks(1);
    const QByteArray file = locationsChecksum(database);
    ASSERT_EQ(file.size(), 86);
    EXPECT_EQ(file.first(46), QByteArray(46, '\0'));
    EXPECT_EQ(file.sliced(66), sha1(database));
    EXPECT_EQ(file.sliced(46, 20), sha1(sha1(database)));
}

TEST(Nano5LocationsTest, ChangedBlockChangesItsDigestAndTheListDigestOnly) {
    const QByteArray database = blocks(5);
    const QByteArray before = locationsChecksum(database);
    ASSERT_EQ(before.size(), 66 + 20 * 5);
    QByteArray changed = database;
    changed[3 * 1024 + 500] = static_cast<char>(changed[3 * 1024 + 500] ^ 1);
    const QByteArray after = locationsChecksum(changed);
    for (qsizetype i = 0; i < before.size(); ++i) {
        const bool inList = i >= 46 && i < 66;
        const bool inBlock3 = i >= 66 + 60 && i < 66 + 80;
        if (!inList && !inBlock3) {
            EXPECT_EQ(before[i], after[i]) << "byte " << i;
        }
    }
    EXPECT_NE(before.sliced(46, 20), after.sliced(46, 20));
    EXPECT_NE(before.sliced(126, 20), after.sliced(126, 20));
}

TEST(Nano5LocationsTest, RefusesPartialBlocks) {
    for (qsizetype size : {0, 1, 1023, 1025, 4097})
        EXPECT_THROW(locationsChecksum(QByteArray(size, 'x')), Nano5Error) << size;
}

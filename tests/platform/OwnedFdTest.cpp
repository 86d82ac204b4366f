#include "platform/OwnedFd.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

class OwnedFdTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    int openRaw() const {
        return ::open(dir.filePath(QStringLiteral("f")).toUtf8().constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    }
    QTemporaryDir dir;
};

TEST_F(OwnedFdTest, ClosesWhenDroppedAndHandsOwnershipOnWhenMoved) {
    const int raw = openRaw();
    ASSERT_GE(raw, 0);
    {
        OwnedFd first(raw);
        OwnedFd second(std::move(first));
        EXPECT_FALSE(first.isValid());
        EXPECT_EQ(second.get(), raw);
        EXPECT_TRUE(isOpen(raw));
    }
    EXPECT_FALSE(isOpen(raw));
}

TEST_F(OwnedFdTest, ResetClosesTheOldDescriptorAndKeepsTheNewOne) {
    const int a = openRaw();
    const int b = openRaw();
    OwnedFd fd(a);
    fd.reset(b);
    EXPECT_FALSE(isOpen(a));
    EXPECT_TRUE(isOpen(b));
    fd.reset();
    EXPECT_FALSE(isOpen(b));
    EXPECT_FALSE(fd.isValid());
}

TEST_F(OwnedFdTest, ClosingOnPurposeReportsTheResult) {
    OwnedFd fd(openRaw());
    const int raw = fd.get();
    EXPECT_TRUE(fd.tryClose());
    EXPECT_FALSE(isOpen(raw));
    EXPECT_TRUE(fd.tryClose()); // nothing left to close

    // A descriptor number that was never open fails to close.
    OwnedFd bogus(1 << 20);
    EXPECT_FALSE(bogus.tryClose());
    EXPECT_EQ(errno, EBADF);
    EXPECT_THROW(OwnedFd::open(dir.filePath(QStringLiteral("missing/x")), O_RDONLY),
                 std::system_error);
}

} // namespace

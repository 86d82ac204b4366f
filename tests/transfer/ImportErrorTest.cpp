#include "transfer/ImportError.h"
#include "platform/Task.h"
#include "transfer/ExportError.h"
#include "transfer/IPodTransfer.h"
#include "transfer/PosixError.h"

#include <gtest/gtest.h>

namespace {

TEST(ImportErrorText, CannotSaveEndsWithItsDetailAfterALineBreak) {
    const QString sentence =
        QStringLiteral("The library could not be saved. Copied files are still on the device. "
                       "Reconnect it and check the library.\n");
    EXPECT_EQ(ImportError::cannotSave({}).description(AppLanguage::english), sentence);
    EXPECT_EQ(
        ImportError::cannotSave(QStringLiteral("disk full")).description(AppLanguage::english),
        sentence + QStringLiteral("disk full"));
    // The Chinese table has its own text and still carries the detail.
    const QString zh = ImportError::cannotSave(QStringLiteral("disk full"))
                           .description(AppLanguage::simplifiedChinese);
    EXPECT_NE(zh, sentence + QStringLiteral("disk full"));
    EXPECT_TRUE(zh.endsWith(QStringLiteral("disk full")));
}

TEST(ImportErrorText, FailureLinesNameTheFileWithAnEmDash) {
    EXPECT_EQ(IPodTransfer::failureLine(QStringLiteral("a.mp3"), ImportError::unsupportedAudio()),
              QStringLiteral("a.mp3 \u2014 ") + ImportError::unsupportedAudio().description());
    EXPECT_EQ(localizedDescription(IPodTransfer::ExportError::lossless(), AppLanguage::english),
              QStringLiteral("This WAV cannot be exported as a lossless M4A."));
    EXPECT_TRUE(localizedDescription(PosixError(EIO, QStringLiteral("/x")))
                    .startsWith(QStringLiteral("/x: ")));
    EXPECT_FALSE(localizedDescription(CancellationError()).isEmpty());
    EXPECT_STREQ(ImportError::disconnected().what(), "The iPod was disconnected.");
}

} // namespace

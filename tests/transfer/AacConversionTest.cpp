#include "TransferTestSupport.h"

#include "platform/Task.h"
#include "transfer/AacConversion.h"
#include "transfer/ExportError.h"
#include "transfer/ImportProgress.h"

#include <QThread>

namespace {

class AacConversionTest : public AudioTest {};

TEST_F(AacConversionTest, ReportsInStepsUpToThreeQuartersAndSkipsEmptyItems) {
    const QString source =
        tone(QStringLiteral("in.wav"), toneSpec(QStringLiteral("pcm_s16le"), 44100, 2, 2.0));
    AudioFile file = AudioFile::open(source);
    std::vector<double> shares;
    const QString out = path(QStringLiteral("out.m4a"));
    // The duration given is shorter than the audio: the share still stops at 0.75.
    IPodTransfer::convertToAAC(file, out, 1.0, 256,
                               {{MetadataIdentifier::iTunesSongName, QString()},
                                {MetadataIdentifier::iTunesArtist, QStringLiteral(" ")},
                                {MetadataIdentifier::iTunesAlbum, QStringLiteral("Lorvanel.APP")}},
                               std::nullopt, [&](const QString& stage, double share) {
                                   EXPECT_EQ(stage, ImportStage::convertingAudio);
                                   shares.push_back(share);
                               });
    ASSERT_FALSE(shares.empty());
    EXPECT_GE(shares.front(), 0.015 - 1e-9);
    EXPECT_LT(shares.front(), 0.05);
    for (size_t i = 1; i < shares.size(); ++i)
        EXPECT_GT(shares[i], shares[i - 1]);
    EXPECT_LE(shares.back(), 0.75);
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed.has_value());
    EXPECT_FALSE(probed->tags.contains(QStringLiteral("title")));
    EXPECT_EQ(probed->tags.value(QStringLiteral("artist")), QStringLiteral(" "));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Lorvanel.APP"));
    EXPECT_NEAR(probed->durationSeconds, 2.0, 0.05);
}

TEST_F(AacConversionTest, CancelledTaskAndBadArtworkLeaveNoOutput) {
    const QString source =
        tone(QStringLiteral("in.flac"), toneSpec(QStringLiteral("flac"), 44100, 2, 3.0));
    const QString out = path(QStringLiteral("out.m4a"));
    std::exception_ptr error;
    Task task = Task::run(TaskPriority::userInitiated, [&] {
        try {
            AudioFile file = AudioFile::open(source);
            IPodTransfer::convertToAAC(file, out, 3.0, 320, {}, std::nullopt,
                                       [](const QString&, double share) {
                                           if (share > 0.2)
                                               Task::currentState()->cancel();
                                       });
        } catch (...) {
            error = std::current_exception();
        }
    });
    while (!task.isFinished())
        QThread::msleep(5);
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), CancellationError);
    EXPECT_FALSE(QFile::exists(out));

    AudioFile file = AudioFile::open(source);
    EXPECT_THROW(IPodTransfer::convertToAAC(file, out, 3.0, 320, {}, QByteArray("no picture"), {}),
                 IPodTransfer::ExportError);
    EXPECT_FALSE(QFile::exists(out));
}

} // namespace

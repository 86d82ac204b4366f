#include "TransferTestSupport.h"

#include "transfer/LorvanelCoverArtwork.h"

namespace {

using namespace LorvanelCoverArtwork;

class LorvanelCoverArtworkTest : public AudioTest {
protected:
    // The default cover passed through the ffmpeg tool: scaled, re-encoded, or cropped.
    QByteArray variant(const QString& name, const QStringList& filter) {
        const QString in = path(QStringLiteral("default.png"));
        writeAll(in, *defaultCoverData());
        QStringList args{QStringLiteral("-i"), in};
        if (!filter.isEmpty())
            args << QStringLiteral("-vf") << filter.join(QLatin1Char(','));
        if (name.endsWith(QLatin1String(".jpg")))
            args << QStringLiteral("-pix_fmt") << QStringLiteral("yuvj444p");
        args << QStringLiteral("-frames:v") << QStringLiteral("1") << QStringLiteral("-update")
             << QStringLiteral("1") << path(name);
        EXPECT_TRUE(TestSupport::runFFmpeg(args));
        return readAll(path(name));
    }
};

TEST_F(LorvanelCoverArtworkTest, TheDefaultCoverIsASquarePngThatRecognisesItsCopies) {
    ASSERT_TRUE(defaultCoverData().has_value());
    EXPECT_TRUE(defaultCoverData()->startsWith("\x89PNG"));
    EXPECT_TRUE(fingerprint(*defaultCoverData()).has_value());
    EXPECT_EQ(matchDefaultCover(*defaultCoverData()), defaultCoverData());
    EXPECT_EQ(
        matchDefaultCover(variant(QStringLiteral("small.png"), {QStringLiteral("scale=300:300")})),
        defaultCoverData());
    EXPECT_EQ(matchDefaultCover(variant(QStringLiteral("re.jpg"), {})), defaultCoverData());
    // Not square: never the default cover, even when it shows it.
    EXPECT_FALSE(
        matchDefaultCover(variant(QStringLiteral("wide.png"), {QStringLiteral("scale=600:500")}))
            .has_value());
    EXPECT_FALSE(matchDefaultCover(variant(QStringLiteral("flip.png"), {QStringLiteral("vflip")}))
                     .has_value());
}

TEST_F(LorvanelCoverArtworkTest, OtherPicturesJunkAndAMissingDefaultNeverMatch) {
    ASSERT_TRUE(TestSupport::makePicture(path(QStringLiteral("red.png")), 64, 64));
    EXPECT_FALSE(matchDefaultCover(readAll(path(QStringLiteral("red.png")))).has_value());
    EXPECT_FALSE(matchDefaultCover("not a picture").has_value());
    EXPECT_FALSE(fingerprint({}).has_value());
    EXPECT_FALSE(matchCover(*defaultCoverData(), std::nullopt).has_value());
}

} // namespace

#include "coverflow/QXCGImageSourceDecoder.h"
#include "coverflow/QXFlowViewImageFactory.h"
#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXNSDataImageDecoder.h"
#include "coverflow/QXNSImageDecoder.h"
#include "coverflow/QXPDFPageDecoder.h"
#include "coverflow/QXQuickLookImageDecoder.h"
#include "coverflow/QXRepresentationTypes.h"

#include "support/EventLoop.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray encoded(QSize size, const char* format) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A US-letter page filled with red.
std::shared_ptr<QPdfDocument> letterPage(const QString& path) {
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QPageSize::Letter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter(&writer);
        painter.fillRect(QRect(0, 0, writer.width(), writer.height()), Qt::red);
    }
    auto document = std::make_shared<QPdfDocument>();
    EXPECT_EQ(document->load(path), QPdfDocument::Error::None);
    return document;
}

bool isRed(QRgb p) {
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}
bool isWhite(QRgb p) {
    return qRed(p) > 245 && qGreen(p) > 245 && qBlue(p) > 245;
}

} // namespace

TEST(QXImageDecodersTest, DataIsScaledDownNeverUp) {
    QXNSDataImageDecoder wide(encoded({2000, 1000}, "JPG"), 240);
    const QImage image = wide.cgImage();
    EXPECT_EQ(image.size(), QSize(240, 120));
    EXPECT_EQ(wide.cgImage().cacheKey(), image.cacheKey()) << "decoded once and kept";
    QXNSDataImageDecoder small(encoded({100, 50}, "PNG"), 240);
    EXPECT_EQ(small.cgImage().size(), QSize(100, 50));
    QXNSDataImageDecoder junk(QByteArray("not an image at all"), 240);
    EXPECT_TRUE(junk.cgImage().isNull());
    EXPECT_TRUE(junk.cgImage().isNull());

    EXPECT_THROW(QXNSDataImageDecoder(QVariant(), 10), QXInvalidParameter);
    EXPECT_THROW(QXNSDataImageDecoder(QByteArray("x"), 0), QXInvalidParameter);
    try {
        QXNSDataImageDecoder(42, 10);
        FAIL();
    } catch (const QXInvalidParameter& e) {
        EXPECT_STREQ(e.what(), "Invalid parameter not satisfying: anItem holds a QByteArray");
    }
    QImage tall(300, 900, QImage::Format_RGB32);
    tall.fill(Qt::green);
    EXPECT_EQ(QXNSImageDecoder(tall, 90).cgImage().size(), QSize(30, 90));
    EXPECT_EQ(QXNSBitmapImageRepDecoder(tall, 1000).cgImage().size(), QSize(300, 900));
}

TEST(QXImageDecodersTest, ImageSourceWaitsUntilItsTypeIsKnown) {
    const QByteArray png = encoded({64, 32}, "PNG");
    auto source = std::make_shared<QXImageSource>(png.left(3));
    QXCGImageSourceDecoder decoder(QVariant::fromValue(source), 16);
    EXPECT_TRUE(decoder.cgImage().isNull());
    source->appendData(png.mid(3));
    EXPECT_EQ(decoder.cgImage().size(), QSize(16, 8));
}

TEST(QXImageDecodersTest, PdfPagesFitOrFillTheSquare) {
    QTemporaryDir dir;
    auto document = letterPage(dir.filePath(QStringLiteral("letter.pdf")));
    QXPDFPageDecoder fitted(QVariant::fromValue(QXPDFPage{document, 0}), 300);
    EXPECT_EQ(fitted.pdfPageRenderer().cropBoxSize(), QSizeF(612, 792));
    const QImage small = fitted.cgImage();
    ASSERT_EQ(small.size(), QSize(300, 300));
    EXPECT_TRUE(isWhite(small.pixel(10, 150)));
    EXPECT_TRUE(isWhite(small.pixel(290, 150)));
    EXPECT_TRUE(isRed(small.pixel(150, 150)));
    EXPECT_TRUE(isRed(small.pixel(150, 2)));

    QXPDFPageDecoder filled(QVariant::fromValue(QXPDFPage{document, 0}), 800);
    const QImage large = filled.cgImage();
    ASSERT_EQ(large.size(), QSize(800, 800));
    // Scaled by 800 / 612 from the lower left: the whole square is page, its top cut off.
    for (QPoint p : {QPoint(2, 2), QPoint(797, 2), QPoint(2, 797), QPoint(797, 797)})
        EXPECT_TRUE(isRed(large.pixel(p)));
    EXPECT_NE(filled.cgImage().cacheKey(), large.cacheKey()) << "rendered afresh each time";
    EXPECT_THROW(QXPDFPageDecoder(QVariant::fromValue(QXPDFPage{document, 3}), 100),
                 QXInvalidParameter);

    // And off the main thread through the factory.
    QXFlowViewImageFactory factory;
    factory.registerStandardDecoders();
    factory.setMaxImageSize({120, 120});
    QImage delivered;
    factory.createCGImageFromRepresentation(QVariant::fromValue(QXPDFPage{document, 0}),
                                            QXFlowViewPDFPageRepresentationType,
                                            [&](const QImage& image) { delivered = image; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !delivered.isNull(); }));
    EXPECT_EQ(delivered.size(), QSize(120, 120));
}

TEST(QXImageDecodersTest, FileThumbnailsFromPathsAndUrls) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("cover.png"));
    QImage image(400, 200, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    ASSERT_TRUE(image.save(png));
    EXPECT_EQ(QXQuickLookImageDecoder::urlForItem(png), QUrl::fromLocalFile(png));
    QXQuickLookImageDecoder byPath(png, 100);
    EXPECT_EQ(byPath.url(), QUrl::fromLocalFile(png));
    EXPECT_EQ(byPath.cgImage().size(), QSize(100, 50));
    QXQuickLookImageDecoder byUrl(QUrl::fromLocalFile(png), 1000);
    EXPECT_EQ(byUrl.cgImage().size(), QSize(400, 200));

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("plain text");
    file.close();
    EXPECT_TRUE(QXQuickLookImageDecoder(text, 100).cgImage().isNull());
    EXPECT_THROW(QXQuickLookImageDecoder(12, 100), QXInvalidParameter);
    EXPECT_THROW(QXQuickLookImageDecoder(QString(), 100), QXInvalidParameter);
}

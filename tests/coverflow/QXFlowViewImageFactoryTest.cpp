#include "coverflow/QXFlowViewImageFactory.h"
#include "coverflow/QXFlowViewImageCache.h"
#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXRepresentationTypes.h"

#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// Items are ints: negative decodes to nothing, >= 100 waits for the gate before finishing.
struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
} gate;

struct FakeDecoder : QXImageDecoderProtocol {
    int id;
    std::uint64_t size;
    FakeDecoder(const QVariant& item, std::uint64_t maxPixelSize)
        : id(item.toInt())
        , size(maxPixelSize) {}
    QImage cgImage() override {
        ++gate.started;
        if (id >= 100) {
            std::unique_lock lock(gate.mutex);
            gate.cv.wait(lock, [] { return gate.open; });
        }
        ++gate.finished;
        if (id < 0)
            return {};
        QImage image(int(size), 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::red);
        return image;
    }
    QImage image() override { return cgImage(); }
};

struct NotADecoder {
    NotADecoder(const QVariant&, std::uint64_t) {}
};

const QString fake = QStringLiteral("fake");

class ImageFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        gate.open = false;
        gate.started = 0;
        gate.finished = 0;
        factory.registerClass<FakeDecoder>(fake);
    }
    void TearDown() override { gate.release(); }
    QXFlowViewImageFactory factory;
};

} // namespace

TEST_F(ImageFactoryTest, RegistryAndSizeRules) {
    factory.registerClass<NotADecoder>(QStringLiteral("other"));
    EXPECT_FALSE(factory.canDecodeRepresentationType(QStringLiteral("other")));
    factory.registerStandardDecoders();
    EXPECT_TRUE(factory.canDecodeRepresentationType(QXFlowViewNSDataRepresentationType));
    EXPECT_FALSE(factory.canDecodeRepresentationType(QXFlowViewCGImageRepresentationType));

    EXPECT_EQ(factory.maxImageSize(), QSizeF(100, 100));
    factory.setMaxImageSize({0, 50});
    factory.setMaxImageSize({50, -1});
    EXPECT_EQ(factory.maxImageSize(), QSizeF(100, 100));
    factory.setMaxImageSize({120.7, 80});
    auto decoder = factory.decoderForItem(1, fake);
    EXPECT_EQ(static_cast<FakeDecoder*>(decoder.get())->size, 120u);
    EXPECT_EQ(factory.decoderForItem(1, QStringLiteral("none")), nullptr);

    EXPECT_THROW(factory.createCGImageFromRepresentation(QVariant(), fake, [](const QImage&) {}),
                 QXInvalidParameter);
    EXPECT_THROW(factory.createCGImageFromRepresentation(1, QString(), [](const QImage&) {}),
                 QXInvalidParameter);
    EXPECT_THROW(factory.createCGImageFromRepresentation(1, fake, {}), QXInvalidParameter);
}

TEST_F(ImageFactoryTest, DeliversOnTheAskingThreadAndDropsFailures) {
    std::vector<int> delivered;
    bool onMainThread = true;
    auto ask = [&](const QVariant& item, const QString& type, int tag) {
        factory.createCGImageFromRepresentation(item, type, [&, tag](const QImage& image) {
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            EXPECT_EQ(image.width(), 100);
            delivered.push_back(tag);
        });
    };
    ask(-1, fake, 1);                               // decodes to nothing
    ask(1, QXFlowViewCGImageRepresentationType, 2); // no decoder
    ask(2, fake, 3);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !delivered.empty(); }));
    TestSupport::waitUntil([&] { return gate.finished == 2; });
    TestSupport::drainEvents();
    EXPECT_EQ(delivered, std::vector<int>{3});
    EXPECT_TRUE(onMainThread);
}

TEST_F(ImageFactoryTest, CancellationDropsOnlyWhatHasNotStarted) {
    factory.setMaxConcurrentDecodings(1);
    std::vector<int> delivered;
    for (int id : {100, 1, 2})
        factory.createCGImageFromRepresentation(
            id, fake, [&, id](const QImage&) { delivered.push_back(id); });
    ASSERT_TRUE(TestSupport::waitUntil([] { return gate.started == 1; }));
    EXPECT_EQ(factory.pendingDecodings(), 2);
    factory.cancelPendingDecodings();
    EXPECT_EQ(factory.pendingDecodings(), 0);
    gate.release();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !delivered.empty(); }));
    TestSupport::drainEvents();
    EXPECT_EQ(delivered, std::vector<int>{100});
    EXPECT_EQ(gate.started, 1);
}

TEST_F(ImageFactoryTest, NothingArrivesAfterTheReceiverIsGone) {
    int delivered = 0;
    auto* context = new QObject;
    factory.createCGImageFromRepresentation(
        100, fake, [&](const QImage&) { ++delivered; }, context);
    auto* doomed = new QXFlowViewImageFactory;
    doomed->registerClass<FakeDecoder>(fake);
    doomed->createCGImageFromRepresentation(101, fake, [&](const QImage&) { ++delivered; });
    ASSERT_TRUE(TestSupport::waitUntil([] { return gate.started == 2; }));
    delete context;
    delete doomed;
    gate.release();
    ASSERT_TRUE(TestSupport::waitUntil([] { return gate.finished == 2; }));
    QThread::msleep(20); // let the workers post what they would deliver
    TestSupport::drainEvents();
    EXPECT_EQ(delivered, 0);
}

TEST(QXFlowViewImageCacheTest, BoundedByBytesLeastRecentlyUsedFirst) {
    QImage cover(100, 100, QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::blue);
    QXFlowViewImageCache cache(3 * cover.sizeInBytes());
    QString key = QStringLiteral("a");
    cache.cacheImage(cover, key);
    key[0] = QLatin1Char('z');
    EXPECT_FALSE(cache.imageForUUID(QStringLiteral("a")).isNull()) << "the key is a copy";
    cache.cacheImage(cover, QStringLiteral("b"));
    cache.cacheImage(cover, QStringLiteral("c"));
    cache.imageForUUID(QStringLiteral("a"));
    cache.cacheImage(cover, QStringLiteral("d"));
    EXPECT_TRUE(cache.imageForUUID(QStringLiteral("b")).isNull());
    EXPECT_FALSE(cache.imageForUUID(QStringLiteral("a")).isNull());
    EXPECT_LE(cache.totalBytes(), cache.maxBytes());
    QImage huge(1000, 1000, QImage::Format_ARGB32_Premultiplied);
    cache.cacheImage(huge, QStringLiteral("huge"));
    EXPECT_TRUE(cache.imageForUUID(QStringLiteral("huge")).isNull());
    cache.removeImageWithUUID(QStringLiteral("a"));
    EXPECT_TRUE(cache.imageForUUID(QStringLiteral("a")).isNull());
    cache.reset();
    EXPECT_EQ(cache.count(), 0);
}

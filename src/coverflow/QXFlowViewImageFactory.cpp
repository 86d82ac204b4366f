#include "coverflow/QXFlowViewImageFactory.h"

#include "coverflow/QXCGImageSourceDecoder.h"
#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXNSDataImageDecoder.h"
#include "coverflow/QXNSImageDecoder.h"
#include "coverflow/QXPDFPageDecoder.h"
#include "coverflow/QXQuickLookImageDecoder.h"
#include "coverflow/QXRepresentationTypes.h"
#include "platform/Task.h"

#include <QThread>

#include <deque>
#include <mutex>

struct QXFlowViewImageFactory::Queue {
    struct Job {
        std::unique_ptr<QXImageDecoderProtocol> decoder;
        std::shared_ptr<TaskDetail::Receiver> receiver;
        CompletionHandler handler;
    };
    mutable std::mutex mutex;
    std::deque<Job> pending;
    int running = 0;
    int maxRunning = std::max(1, QThread::idealThreadCount());

    // One worker: takes requests until none is left.
    static void work(const std::shared_ptr<Queue>& q) {
        for (;;) {
            Job job;
            {
                std::lock_guard lock(q->mutex);
                if (q->pending.empty() || Task::isCancelled()) {
                    --q->running;
                    return;
                }
                job = std::move(q->pending.front());
                q->pending.pop_front();
            }
            QImage image;
            try {
                image = job.decoder->cgImage();
            } catch (...) {
                image = QImage(); // a decoder that throws decodes nothing
            }
            job.decoder.reset();
            if (image.isNull())
                continue;
            CompletionHandler handler = std::move(job.handler);
            job.receiver->post([handler = std::move(handler), image] { handler(image); });
        }
    }
};

QXFlowViewImageFactory::QXFlowViewImageFactory(QObject* parent)
    : QObject(parent)
    , queue(std::make_shared<Queue>()) {
}

QXFlowViewImageFactory::~QXFlowViewImageFactory() {
    cancelPendingDecodings();
}

void QXFlowViewImageFactory::registerStandardDecoders() {
    for (const QString& type :
         {QXFlowViewURLRepresentationType, QXFlowViewPathRepresentationType,
          QXFlowViewQTMoviePathRepresentationType, QXFlowViewQCCompositionPathRepresentationType,
          QXFlowViewQuickLookPathRepresentationType})
        registerClass<QXQuickLookImageDecoder>(type);
    registerClass<QXPDFPageDecoder>(QXFlowViewPDFPageRepresentationType);
    registerClass<QXNSImageDecoder>(QXFlowViewNSImageRepresentationType);
    registerClass<QXCGImageSourceDecoder>(QXFlowViewCGImageSourceRepresentationType);
    registerClass<QXNSDataImageDecoder>(QXFlowViewNSDataRepresentationType);
    registerClass<QXNSBitmapImageRepDecoder>(QXFlowViewNSBitmapRepresentationType);
}

std::unique_ptr<QXImageDecoderProtocol>
QXFlowViewImageFactory::decoderForItem(const QVariant& item, const QString& type) const {
    const auto it = decoders.constFind(type);
    if (it == decoders.constEnd())
        return nullptr;
    const double width = maxImageSize_.width();
    return (*it)(item, width >= 1 ? std::uint64_t(width) : 0);
}

void QXFlowViewImageFactory::setMaxImageSize(QSizeF size) {
    if (!(size.width() > 0) || !(size.height() > 0) || size == maxImageSize_)
        return;
    maxImageSize_ = size;
}

int QXFlowViewImageFactory::maxConcurrentDecodings() const {
    std::lock_guard lock(queue->mutex);
    return queue->maxRunning;
}

void QXFlowViewImageFactory::setMaxConcurrentDecodings(int count) {
    {
        std::lock_guard lock(queue->mutex);
        queue->maxRunning = std::max(1, count);
    }
    startWorkerIfNeeded();
}

void QXFlowViewImageFactory::createCGImageFromRepresentation(const QVariant& item,
                                                             const QString& type,
                                                             CompletionHandler handler,
                                                             QObject* context) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(!type.isEmpty(), "representationType");
    QX_PRECONDITION(bool(handler), "completionHandler != NULL");
    if (!canDecodeRepresentationType(type))
        return;
    // A size below one pixel decodes nothing (and would break the decoders' own checks).
    if (!(maxImageSize_.width() >= 1))
        return;
    QObject* receiver = context ? context : this;
    // Deliveries go back to the asking thread; a receiver elsewhere has no way there.
    if (receiver->thread() != QThread::currentThread())
        return;
    auto decoder = decoderForItem(item, type);
    if (!decoder)
        return;
    {
        std::lock_guard lock(queue->mutex);
        queue->pending.push_back(
            {std::move(decoder), TaskDetail::Receiver::watch(receiver), std::move(handler)});
    }
    startWorkerIfNeeded();
}

void QXFlowViewImageFactory::startWorkerIfNeeded() {
    int toStart = 0;
    {
        std::lock_guard lock(queue->mutex);
        const int wanted = std::min<int>(queue->maxRunning, int(queue->pending.size()));
        toStart = std::max(0, wanted - queue->running);
        queue->running += toStart;
    }
    for (int i = 0; i < toStart; ++i)
        Task::run(TaskPriority::userInitiated, [q = queue] { Queue::work(q); });
}

void QXFlowViewImageFactory::cancelPendingDecodings() {
    std::deque<Queue::Job> dropped;
    {
        std::lock_guard lock(queue->mutex);
        dropped.swap(queue->pending);
    }
}

int QXFlowViewImageFactory::pendingDecodings() const {
    std::lock_guard lock(queue->mutex);
    return int(queue->pending.size());
}

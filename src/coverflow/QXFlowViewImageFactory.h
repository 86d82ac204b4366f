#pragma once

// Decodes item representations into images off the requesting thread and hands each image back
// on that thread. Decoders are picked by representation type from a registry; a request whose
// type has none, or whose decoder yields no image, ends without a call of the handler.

#include "coverflow/QXImageDecoderProtocol.h"

#include <QHash>
#include <QObject>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <type_traits>

class QXFlowViewImageFactory : public QObject {
    Q_OBJECT

public:
    using DecoderMaker =
        std::function<std::unique_ptr<QXImageDecoderProtocol>(const QVariant&, std::uint64_t)>;
    using CompletionHandler = std::function<void(const QImage&)>;

    explicit QXFlowViewImageFactory(QObject* parent = nullptr);
    ~QXFlowViewImageFactory() override;

    // Registers T for the type, replacing an earlier class; a T that is no decoder (not a
    // QXImageDecoderProtocol constructible from an item and a pixel size) is ignored.
    template <typename T> void registerClass(const QString& representationType) {
        if constexpr (std::is_base_of_v<QXImageDecoderProtocol, T> &&
                      std::is_constructible_v<T, const QVariant&, std::uint64_t>)
            decoders.insert(representationType, [](const QVariant& item, std::uint64_t size) {
                return std::unique_ptr<QXImageDecoderProtocol>(std::make_unique<T>(item, size));
            });
    }
    // The standard table: file types to the file-thumbnail decoder, PDF pages, image objects,
    // image sources, data and bitmaps. CGImage, QTMovie and QCComposition get none.
    void registerStandardDecoders();
    bool canDecodeRepresentationType(const QString& type) const { return decoders.contains(type); }
    // A new decoder made with the truncated maximum width; null for an unregistered type.
    std::unique_ptr<QXImageDecoderProtocol> decoderForItem(const QVariant& item,
                                                           const QString& type) const;

    QSizeF maxImageSize() const { return maxImageSize_; }
    // Ignored unless both sides are above 0.
    void setMaxImageSize(QSizeF size);

    // Threads decoding at once (the default is the ideal thread count).
    int maxConcurrentDecodings() const;
    void setMaxConcurrentDecodings(int count);

    // Decodes on a worker and calls handler on this thread, by a queued call on context (this
    // factory when null), which must live on the calling thread. Nothing is delivered once
    // context is destroyed. Throws QXInvalidParameter for a null item, an empty type or a
    // missing handler.
    void createCGImageFromRepresentation(const QVariant& item, const QString& type,
                                         CompletionHandler handler, QObject* context = nullptr);
    // Drops the requests that have not started; running decodes still deliver.
    void cancelPendingDecodings();
    // Requests queued and not started.
    int pendingDecodings() const;

private:
    struct Queue;
    void startWorkerIfNeeded();

    QHash<QString, DecoderMaker> decoders;
    QSizeF maxImageSize_{100, 100};
    std::shared_ptr<Queue> queue;
};

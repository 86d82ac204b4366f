#include "coverflow/LorvanelCoverImage.h"

#include "transfer/LorvanelCoverArtwork.h"

namespace LorvanelCoverArtwork {

const QImage& defaultImage() {
    static const QImage image = [] {
        QImage decoded;
        if (const auto& bytes = defaultCoverData())
            decoded = QImage::fromData(*bytes);
        if (decoded.isNull()) {
            decoded = QImage(512, 512, QImage::Format_ARGB32_Premultiplied);
            decoded.fill(Qt::transparent);
        }
        return decoded;
    }();
    return image;
}

} // namespace LorvanelCoverArtwork

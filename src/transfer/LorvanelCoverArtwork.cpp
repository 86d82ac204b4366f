#include "transfer/LorvanelCoverArtwork.h"

#include "transfer/PictureDecoder.h"

#include <QFile>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdlib>

namespace LorvanelCoverArtwork {

namespace {

bool sameCover(const Fingerprint& a, const Fingerprint& b) {
    int sum = 0;
    for (int i = 0; i < fingerprintBytes; ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return sum <= maxDifference;
}

} // namespace

const std::optional<QByteArray>& defaultCoverData() {
    static const std::optional<QByteArray> data = []() -> std::optional<QByteArray> {
        QFile file(QStringLiteral(":/LorvanelDefaultCover.png"));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        QByteArray bytes = file.readAll();
        if (bytes.isEmpty())
            return std::nullopt;
        return bytes;
    }();
    return data;
}

std::optional<Fingerprint> fingerprint(const QByteArray& bytes) {
    const PictureDecoder::Pixbuf picture = PictureDecoder::decode(bytes);
    if (!picture)
        return std::nullopt;
    const int width = gdk_pixbuf_get_width(picture.get());
    const int height = gdk_pixbuf_get_height(picture.get());
    if (width != height || width <= 0)
        return std::nullopt;
    const PictureDecoder::Pixbuf small(
        gdk_pixbuf_scale_simple(picture.get(), fingerprintSide, fingerprintSide, GDK_INTERP_HYPER));
    if (!small)
        return std::nullopt;
    const int channels = gdk_pixbuf_get_n_channels(small.get());
    const bool alpha = gdk_pixbuf_get_has_alpha(small.get());
    const int stride = gdk_pixbuf_get_rowstride(small.get());
    if (gdk_pixbuf_get_bits_per_sample(small.get()) != 8 || channels < 3)
        return std::nullopt;
    const guchar* pixels = gdk_pixbuf_read_pixels(small.get());
    Fingerprint out{};
    for (int y = 0; y < fingerprintSide; ++y) {
        for (int x = 0; x < fingerprintSide; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            const int a = alpha ? p[3] : 255;
            std::uint8_t* o = out.data() + (y * fingerprintSide + x) * 4;
            for (int c = 0; c < 3; ++c)
                o[c] = std::uint8_t((p[c] * a + 127) / 255);
            o[3] = std::uint8_t(a);
        }
    }
    return out;
}

std::optional<QByteArray> matchCover(const QByteArray& artwork,
                                     const std::optional<QByteArray>& defaultBytes) {
    if (!defaultBytes)
        return std::nullopt;
    const auto given = fingerprint(artwork);
    if (!given)
        return std::nullopt;
    const auto reference = fingerprint(*defaultBytes);
    if (!reference || !sameCover(*given, *reference))
        return std::nullopt;
    return defaultBytes;
}

std::optional<QByteArray> matchDefaultCover(const QByteArray& artwork) {
    const std::optional<QByteArray>& defaults = defaultCoverData();
    if (!defaults)
        return std::nullopt;
    // The default cover is fingerprinted once per process.
    static const std::optional<Fingerprint> reference = fingerprint(*defaults);
    if (!reference)
        return std::nullopt;
    const auto given = fingerprint(artwork);
    if (!given || !sameCover(*given, *reference))
        return std::nullopt;
    return defaults;
}

} // namespace LorvanelCoverArtwork

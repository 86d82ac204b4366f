#include "transfer/PictureDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace {

struct SizeCheck {
    bool oversized = false;
};

void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
    if (width > PictureDecoder::maxSide || height > PictureDecoder::maxSide || width <= 0 ||
        height <= 0) {
        static_cast<SizeCheck*>(data)->oversized = true;
        // A zero size makes the loader stop before it allocates or decodes any pixels.
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    }
}

} // namespace

namespace PictureDecoder {

Pixbuf decode(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return nullptr;
    const GLibHandles::ObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new());
    if (!loader)
        return nullptr;
    SizeCheck check;
    g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(onSizePrepared), &check);
    const bool written =
        gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(bytes.constData()),
                                gsize(bytes.size()), nullptr);
    // Closing is needed on every path, also after a failed write.
    const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
    if (!written || !closed || check.oversized)
        return nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
    if (!pixbuf)
        return nullptr;
    return Pixbuf(GDK_PIXBUF(g_object_ref(pixbuf)));
}

QByteArray encodePNG(_GdkPixbuf* pixbuf) {
    gchar* raw = nullptr;
    gsize size = 0;
    const bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &raw, &size, "png", nullptr, nullptr);
    const GLibHandles::CharPtr buffer(raw);
    if (!saved || !buffer)
        return {};
    return QByteArray(buffer.get(), qsizetype(size));
}

} // namespace PictureDecoder

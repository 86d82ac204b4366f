#include "transfer/PictureDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace {

struct LoaderDeleter {
    void operator()(GdkPixbufLoader* loader) const { g_object_unref(loader); }
};

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

void PixbufDeleter::operator()(_GdkPixbuf* pixbuf) const {
    g_object_unref(pixbuf);
}

Pixbuf decode(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return nullptr;
    std::unique_ptr<GdkPixbufLoader, LoaderDeleter> loader(gdk_pixbuf_loader_new());
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
    gchar* buffer = nullptr;
    gsize size = 0;
    if (!gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr))
        return {};
    QByteArray out(buffer, qsizetype(size));
    g_free(buffer);
    return out;
}

} // namespace PictureDecoder

#include "support/StoredCoverReads.h"

#include <QCryptographicHash>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gpod/itdb.h>

#include <algorithm>
#include <stdexcept>

namespace TestSupport {

QHash<quint64, QByteArrayList> libgpodCovers(const QString& mountPoint) {
    GError* error = nullptr;
    Itdb_iTunesDB* database = itdb_parse(QFile::encodeName(mountPoint).constData(), &error);
    if (!database) {
        const std::string message = error && error->message ? error->message : "";
        g_clear_error(&error);
        throw std::runtime_error("itdb_parse: " + message);
    }
    QHash<quint64, QByteArrayList> covers;
    for (GList* item = database->tracks; item; item = item->next) {
        auto* track = static_cast<Itdb_Track*>(item->data);
        if (!track->artwork || !track->artwork->thumbnail)
            continue;
        GList* pixbufs = itdb_thumb_to_pixbufs(database->device, track->artwork->thumbnail);
        QByteArrayList thumbnails;
        for (GList* link = pixbufs; link; link = link->next) {
            auto* pixbuf = static_cast<GdkPixbuf*>(link->data);
            const int width = gdk_pixbuf_get_width(pixbuf);
            const int height = gdk_pixbuf_get_height(pixbuf);
            const int stride = gdk_pixbuf_get_rowstride(pixbuf);
            const int row = width * gdk_pixbuf_get_n_channels(pixbuf);
            const auto* pixels = reinterpret_cast<const char*>(gdk_pixbuf_read_pixels(pixbuf));
            QCryptographicHash digest(QCryptographicHash::Md5);
            for (int y = 0; y < height; ++y)
                digest.addData(QByteArrayView(pixels + qsizetype(y) * stride, row));
            thumbnails.append(QByteArray::number(width) + 'x' + QByteArray::number(height) + ':' +
                              digest.result().toHex());
            g_object_unref(pixbuf);
        }
        g_list_free(pixbufs);
        std::sort(thumbnails.begin(), thumbnails.end());
        if (!thumbnails.isEmpty())
            covers.insert(track->dbid, thumbnails);
    }
    itdb_free(database);
    return covers;
}

} // namespace TestSupport

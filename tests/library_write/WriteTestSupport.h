#pragma once

// Small helpers shared by the write-side tests.

#include "library/IPodDatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <functional>

namespace WriteTests {

// Every file below root (relative path with a leading slash) with its bytes.
inline QMap<QString, QByteArray> fileContents(const QString& root) {
    QMap<QString, QByteArray> contents;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            contents.insert(path.mid(root.size()), file.readAll());
    }
    return contents;
}

// A size x size PNG of one colour (0xRRGGBB).
inline QByteArray png(int size, quint32 rgb) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, size, size);
    gdk_pixbuf_fill(pixbuf, (rgb << 8) | 0xFF);
    gchar* buffer = nullptr;
    gsize length = 0;
    gdk_pixbuf_save_to_bufferv(pixbuf, &buffer, &length, "png", nullptr, nullptr, nullptr);
    QByteArray bytes(buffer, qsizetype(length));
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

inline IPodDatabaseError::Case failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const IPodDatabaseError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no IPodDatabaseError";
    return IPodDatabaseError::Case::library;
}

inline std::function<std::optional<int>()> product(int id) {
    return [id] { return std::optional<int>(id); };
}

} // namespace WriteTests

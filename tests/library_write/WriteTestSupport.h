#pragma once

// Small helpers shared by the write-side tests.

#include "library/IPodDatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

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

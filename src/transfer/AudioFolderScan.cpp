#include "transfer/AudioFolderScan.h"

#include "platform/Task.h"
#include "transfer/PosixError.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

QStringList scanAudioFolder(const QString& folder, const QStringList& extensions) {
    const fs::path root(QFile::encodeName(folder).toStdString());
    std::error_code ec;
    // Directory links are not followed: the walk stays inside the folder's own tree.
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec);
    if (ec)
        throw PosixError(ec.value(), folder);
    QStringList found;
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        Task::checkCancellation();
        const fs::directory_entry& entry = *it;
        const QString name = QFile::decodeName(entry.path().filename().c_str());
        if (name.startsWith(QLatin1Char('.'))) {
            if (entry.is_directory(ec) && !entry.is_symlink(ec))
                it.disable_recursion_pending();
            ec.clear();
            continue;
        }
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot <= 0 || !extensions.contains(name.mid(dot + 1).toLower()))
            continue;
        const fs::file_status status = entry.symlink_status(ec);
        if (ec)
            throw PosixError(ec.value(), QFile::decodeName(entry.path().c_str()));
        if (fs::is_regular_file(status))
            found.append(QFile::decodeName(entry.path().c_str()));
    }
    if (ec)
        throw PosixError(ec.value(), QFile::decodeName(it == fs::recursive_directory_iterator()
                                                           ? root.c_str()
                                                           : it->path().c_str()));
    // The C locale has no collation rules; numbers would then sort as text.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(found.begin(), found.end(), [&](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
    return found;
}

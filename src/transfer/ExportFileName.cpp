#include "transfer/ExportFileName.h"

#include "platform/OwnedFd.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qsizetype maxNameBytes = 180;
constexpr int maxCandidates = 10000;

bool isReplaced(char32_t c) {
    switch (c) {
    case '/':
    case ':':
    case '\\':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return QChar::category(c) == QChar::Other_Control;
    }
}

QString replaceUnsafeCharacters(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            out.append(c).append(name[++i]); // beyond the BMP there are no control characters
            continue;
        }
        if (isReplaced(c.unicode()))
            out.append(QLatin1Char('-'));
        else
            out.append(c);
    }
    return out;
}

bool isTrimmed(QChar c) {
    return c.isSpace() || c == QLatin1Char('.');
}

QString trimmed(const QString& name) {
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isTrimmed(name[begin]))
        ++begin;
    while (end > begin && isTrimmed(name[end - 1]))
        --end;
    return name.mid(begin, end - begin);
}

// The longest prefix of whole grapheme clusters that fits in maxNameBytes of UTF-8.
QString cutToByteLimit(const QString& name) {
    if (name.toUtf8().size() <= maxNameBytes)
        return name;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    qsizetype kept = 0;
    qsizetype keptBytes = 0;
    for (qsizetype next = finder.toNextBoundary(); next > kept; next = finder.toNextBoundary()) {
        const qsizetype bytes = name.mid(kept, next - kept).toUtf8().size();
        if (keptBytes + bytes > maxNameBytes)
            break;
        keptBytes += bytes;
        kept = next;
    }
    return name.left(kept);
}

[[noreturn]] void throwErrno(int error, const QString& path) {
    throw std::system_error(error, std::generic_category(), path.toStdString());
}

// Moves from to to unless to exists; false when it does.
bool moveWithoutReplacing(const QString& fromPath, const QString& toPath) {
    const QByteArray from = QFile::encodeName(fromPath);
    const QByteArray to = QFile::encodeName(toPath);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    int error = errno;
    if (error == EEXIST)
        return false;
    // FUSE and some network file systems refuse the flag itself.
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        throwErrno(error, toPath);

    // A hard link is created exclusively as well.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return true;
    }
    if (errno == EEXIST)
        return false;

    // No hard links either (FAT): claim the name with an exclusive create, then rename over
    // the placeholder, which is ours.
    OwnedFd placeholder(
        ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!placeholder.isValid()) {
        error = errno;
        if (error == EEXIST)
            return false;
        throwErrno(error, toPath);
    }
    placeholder.reset(); // empty: nothing written that a failed close could lose
    if (::rename(from.constData(), to.constData()) != 0) {
        error = errno;
        ::unlink(to.constData());
        throwErrno(error, toPath);
    }
    return true;
}

} // namespace

QString exportBaseName(const QString& baseName, const QString& sourcePath) {
    QString name = trimmed(replaceUnsafeCharacters(baseName));
    if (name.isEmpty()) {
        const QFileInfo source(sourcePath);
        // A name that is all extension (".mp3") is a hidden file's whole name, not empty.
        name = source.completeBaseName();
        if (name.isEmpty())
            name = source.fileName();
    }
    return cutToByteLimit(name);
}

QString exportFileName(const QString& finishedFile, const QString& baseName,
                       const QString& sourcePath, const QString& extension,
                       const QString& destinationFolder) {
    const QString name = exportBaseName(baseName, sourcePath);
    QString folder = destinationFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder.append(QLatin1Char('/'));
    QString target;
    for (int n = 1; n <= maxCandidates; ++n) {
        QString candidate = name;
        if (n > 1)
            candidate += QStringLiteral(" (") + QString::number(n) + QLatin1Char(')');
        if (!extension.isEmpty())
            candidate += QLatin1Char('.') + extension;
        target = folder + candidate;
        if (moveWithoutReplacing(finishedFile, target))
            return target;
    }
    throwErrno(EEXIST, target);
}

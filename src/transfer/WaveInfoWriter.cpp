#include "transfer/WaveInfoWriter.h"

#include "platform/OwnedFd.h"

#include <cstdint>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint64 maxRiffFileBytes = quint64(0xFFFFFFFF) + 8; // the RIFF size field is 32 bits

[[noreturn]] void fail(const std::exception_ptr& formatError) {
    if (formatError)
        std::rethrow_exception(formatError);
    throw std::invalid_argument("writeWaveInfo needs an error to throw");
}

void putLE32(QByteArray& out, quint32 value) {
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint32 readLE32(const QByteArray& data, qint64 pos) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(data[pos + i]);
    return value;
}

// Where the new chunk goes: right after the last chunk (and its pad byte, added when missing).
struct AppendPoint {
    quint64 offset;
    bool needsPad;
};

AppendPoint findAppendPoint(OwnedFd& file, quint64 fileSize, const std::exception_ptr& error) {
    const QByteArray header = file.readAt(0, 12);
    if (header.size() != 12 || !header.startsWith("RIFF") || header.mid(8, 4) != "WAVE")
        fail(error);
    quint64 pos = 12;
    while (fileSize - pos >= 8) {
        const QByteArray chunk = file.readAt(qint64(pos), 8);
        if (chunk.size() != 8)
            fail(error);
        const quint64 size = readLE32(chunk, 4);
        const quint64 end = pos + 8 + size;
        if (end > fileSize)
            fail(error); // a truncated chunk would swallow anything appended after it
        if (end % 2 != 0 && end == fileSize)
            return {end, true};
        pos = end + (end % 2);
    }
    if (pos != fileSize)
        fail(error); // stray bytes that are no chunk: appending after them would misalign
    return {pos, false};
}

} // namespace

QByteArray waveInfoChunk(const QString& album) {
    QByteArray value = album.toUtf8();
    value.append('\0');
    const quint32 n = quint32(value.size());
    if (n % 2 != 0)
        value.append('\0');
    QByteArray chunk("LIST");
    putLE32(chunk, quint32(4 + 8 + value.size()));
    chunk.append("INFO");
    chunk.append("IPRD");
    putLE32(chunk, n);
    chunk.append(value);
    return chunk;
}

void writeWaveInfo(const QString& album, const QString& wavePath, std::exception_ptr formatError) {
    OwnedFd file = OwnedFd::open(wavePath, O_RDWR | O_NOFOLLOW);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        throw std::system_error(errno, std::generic_category(), wavePath.toStdString());
    if (!S_ISREG(info.st_mode))
        fail(formatError);
    const quint64 oldSize = quint64(info.st_size);
    const AppendPoint point = findAppendPoint(file, oldSize, formatError);

    QByteArray tail;
    if (point.needsPad)
        tail.append('\0');
    tail.append(waveInfoChunk(album));
    const quint64 newSize = point.offset + quint64(tail.size());
    if (newSize > maxRiffFileBytes)
        fail(formatError);
    const QByteArray oldRiffSize = file.readAt(4, 4);
    QByteArray newRiffSize;
    putLE32(newRiffSize, quint32(newSize - 8));

    try {
        file.writeAllAt(qint64(point.offset), tail);
        file.writeAllAt(4, newRiffSize);
        if (::fsync(file.get()) != 0)
            throw std::system_error(errno, std::generic_category(), wavePath.toStdString());
    } catch (...) {
        // Put the file back as it was; if even that fails, the original error still says most.
        if (::ftruncate(file.get(), off_t(oldSize)) == 0) {
            try {
                file.writeAllAt(4, oldRiffSize);
            } catch (...) {
                // See above: the original error is reported.
            }
        }
        throw;
    }
    file.close();
}

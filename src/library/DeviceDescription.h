#pragma once

// An iPod's device description (SysInfoExtended), read strictly before libgpod or any check of
// ours reads it. libgpod reads it with libxml2, which expands references, and takes each number
// with a conversion that guesses octal and hexadecimal and crashes it on any character after the
// number (a trailing space, "2,2"); our checks read it with libplist, which does neither alike.
// So a description is read only as a plain document, in which both see every value the same:
// only the property list's own elements, integers as plain decimal digits without leading
// zeros, reals as plain decimal numbers, no references, CDATA sections, comments or processing
// instructions, no whitespace in keys or numbers, no key twice in a dictionary. libgpod reads
// UTF-16 and a byte-order mark too; so does this reader.

#include "library/CoverProcessProtocol.h"
#include "library/PropertyList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace DeviceDescription {

// No iPod's description comes near this; a larger one is refused unread. Reading one grows faster
// than its size (libplist's most): an opening whose description has this size and as many keys
// as fit takes about a tenth of a second (bench/library/DeviceDescriptionBench.cpp).
inline constexpr qint64 maxBytes = CoverProcessProtocol::maxDescriptionBytes;
// libxml2, which libgpod reads a description with, gives up on a document holding a text, key or
// data node longer than this many characters (its XML_MAX_TEXT_LENGTH); libgpod then falls back
// on its model table while our checks read the file. No description within maxBytes holds one.
inline constexpr qint64 libxml2TextLimit = 10000000;
static_assert(maxBytes < libxml2TextLimit);

// The device's SysInfo, the plain "key: value" lines every iPod keeps beside its description
// (or alone): no real one is more than a few KB, and libgpod reads it whole in every process that
// asks it what the device is. A larger one is refused unread.
inline constexpr qint64 maxSysInfoBytes = qint64(64) << 10;

// The description as UTF-8 without a byte-order mark, declared so, with XML's line ends; none
// unless the bytes are a plain document (UTF-8, or UTF-16 as libgpod recognises it) of at most
// maxBytes.
std::optional<QByteArray> plainText(QByteArrayView bytes);
// The dictionary of a plain description; none otherwise.
std::optional<PropertyList> dictionary(QByteArrayView bytes);

// The description libgpod reads at a mount point, found as libgpod finds it.
struct File {
    QString path;                   // empty when there is none
    std::optional<QByteArray> text; // its plainText; none when it is not plain or unreadable
    // Refused (not plain, too large, not a regular file or unreadable): libgpod must not read it.
    bool refused() const { return !path.isEmpty() && !text; }
};
File read(const QString& mountPoint);
// The SysInfo libgpod reads at a mount point, found as libgpod finds it; its text is the bytes,
// none when it is larger than maxSysInfoBytes, not a regular file or unreadable.
File readSysInfo(const QString& mountPoint);

} // namespace DeviceDescription

#pragma once

// Device descriptions (SysInfoExtended) written in the forms libgpod's reader and ours read
// differently, or that crash libgpod's, and a plain one in each encoding libgpod reads.
//
//     for (const auto& [name, description] : TestSupport::unplainDescriptions())
//         volume.writeSysInfoExtended(description);

#include <QByteArray>
#include <QList>

namespace TestSupport {

struct DescriptionForm {
    const char* name;
    QByteArray bytes;
};

// A real-looking description (a family, a serial number, a FireWire ID and two cover formats,
// 128 x 128 and 320 x 320) with one thing written otherwise in each: a number with a character
// after it, a real with a decimal comma, a date, a key without its value, ... (libgpod's reader
// crashes on those), and references, CDATA, comments, whitespace and prefixes in numbers (which
// it reads otherwise than libplist).
QList<DescriptionForm> unplainDescriptions();

// The real-looking description of unplainDescriptions, plain, grown to exactly `bytes` bytes
// with as many distinct short keys as fit (the hardest plain description to read per byte).
// With textNode, one string of that many characters is added in front of them.
QByteArray descriptionOfSize(qint64 bytes, qint64 textNode = 0);

// description (UTF-8, declared so) as libgpod reads it too: after a UTF-8 byte-order mark, in
// UTF-16 of either byte order after a byte-order mark, and in UTF-16 without one.
QList<DescriptionForm> otherEncodings(const QByteArray& description);

} // namespace TestSupport

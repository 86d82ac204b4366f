#pragma once

// The two facts the device layer takes from a SysInfoExtended property list read over USB or
// SCSI. Readers never fail: anything malformed gives none.

#include <QByteArray>
#include <QString>

#include <optional>

namespace SysInfoExtendedReader {

// The text value of a key of the top-level dictionary of an XML property list.
std::optional<QString> stringValue(const QByteArray& plist, const QString& key);

std::optional<QString> serialNumber(const QByteArray& plist);
// "VisibleBuildID", normalised: the version inside a trailing "(...)" when there is one, and
// only dotted numbers of two to four parts.
std::optional<QString> firmwareVersion(const QByteArray& plist);
std::optional<QString> normalizedVersion(const QString& text);

} // namespace SysInfoExtendedReader

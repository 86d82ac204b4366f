#pragma once

// Turning a share card into files and clipboard contents: the 1200 × 800 opaque PNG, the name
// the save dialog proposes, the write that replaces a file in one step, and the clipboard data
// holding the picture as PNG and TIFF.

#include "showcase/DeviceShareCard.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

class QMimeData;

namespace DeviceShareImage {

constexpr double scale = 2;

// The card rendered at twice its size and encoded as PNG; nothing when either step fails.
std::optional<QByteArray> renderPNG(const DeviceShareCard& card);

// "Lorvanel-20250102-030405-ABCDEF12.png": local date and time in ASCII digits whatever the
// locale, then the start of a fresh UUID in upper case.
QString proposedFileName(const QDateTime& now, const QUuid& id);
QString proposedFileName();

// Writes the bytes as the file at path, replacing what is there only once the new content is
// complete on disk; on failure the old file (if any) is unchanged and nothing else is left
// behind. Returns the error's text, or nothing on success.
std::optional<QString> write(const QString& path, const QByteArray& data);

// One clipboard item: the PNG, and its TIFF form when one can be made.
QMimeData* clipboardData(const QByteArray& png);

} // namespace DeviceShareImage

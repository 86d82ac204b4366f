#pragma once

// The one routine that writes files onto the iPod and into export folders: a new file made of
// an optional prefix and the tail of a source, copied in chunks of 1 MiB with progress and
// cancellation, never overwriting and never following a symbolic link.

#include "transfer/IPodTransfer.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

// Throws (ImportError::disconnected) when the volume is no longer the iPod the operation began
// on. Stands in for the device's identity check.
using IdentityCheck = std::function<void()>;
// The copy fraction F: (source offset + bytes copied) / source size.
using CopyProgress = std::function<void(double fraction)>;

namespace ChunkedCopy {
inline constexpr std::uint64_t chunkSize = 1048576;
inline constexpr std::uint64_t largestFile = 0xFFFFFFFFull;
inline constexpr double progressStep = 0.02;
} // namespace ChunkedCopy

// Writes prefixData, then the source from sourceOffset, into a new file at destination
// (exclusive create, no link following, mode 0644), exactly as many bytes as the source had
// when the copy began, then syncs it. The identity is checked before the file is created and
// after it is complete. Throws IPodDatabaseError::invalidTrack when the sizes do not fit 32 bits or
// the offset is not inside the source, PosixError for file errors (EEXIST for an existing
// destination), CancellationError, or the identity check's error. A partial file is removed unless
// the identity no longer holds (then the path may lie on another volume and is left alone).
void copyFileWithProgress(const QString& source, const QString& destination,
                          const IdentityCheck& verifyIdentity, const QByteArray& prefixData,
                          std::uint64_t sourceOffset, const CopyProgress& progress);

// The import's form: the whole file, reporting "Copying" with
// baseFraction + F × (1 − baseFraction) through the file's reporter.
void copyFileWithProgress(const QString& source, const QString& destination,
                          const IdentityCheck& verifyIdentity,
                          const IPodTransfer::FileProgress& progress, double baseFraction);

namespace ChunkedCopy {
// The rewrite of an MP3: "Copying" at 0.95 × F.
CopyProgress rewriteOfMP3(IPodTransfer::FileProgress progress);
// The rewrite after a re-encoding: "Copying" at 0.75 + 0.2 × F.
CopyProgress rewriteAfterReencoding(IPodTransfer::FileProgress progress);
} // namespace ChunkedCopy

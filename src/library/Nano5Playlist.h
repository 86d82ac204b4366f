#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The fifth-generation nano's library files: detection, the guarded read and the snapshot.
namespace Nano5Playlist {

inline constexpr int productID = 0x1265;

// Relative to iPod_Control/iTunes; the writers address them by index.
const QStringList& databaseFiles();

// The only way a nano database file is read: a regular file, not a link, with no SQLite
// sidecar beside it. Throws IPodDatabaseError::unsupportedDatabase when a rule fails and
// std::system_error for file-system errors.
QByteArray readDatabaseFile(const QString& path);

// The iTunesCDB bytes when the nano's SQLite library files exist; none on any problem.
std::optional<QByteArray> databaseSnapshot(const QString& mountPoint);

// All five database files exist.
bool canImport(const QString& mountPoint);

} // namespace Nano5Playlist

#pragma once

// Final naming of an exported file: a base name made safe for any destination file system
// (Linux, FAT, exFAT, NTFS) and cut to 180 UTF-8 bytes, numbered " (2)", " (3)", ... on
// collision, and moved into place so that an existing file is never replaced.

#include <QString>

// The cleaned base name: control characters and / : \ * ? " < > | become one "-" each; white
// space, newlines and "." are trimmed from both ends; an empty result falls back to the source
// file's own name without its extension; then whole characters are dropped from the end until
// the name fits in 180 UTF-8 bytes.
QString exportBaseName(const QString& baseName, const QString& sourcePath);

// Moves finishedFile into destinationFolder as "<name>.<extension>", "<name> (2).<extension>",
// ... (no "." when extension is empty), taking the first name that does not exist yet. Returns
// the path of the exported file. Throws std::system_error carrying the errno and the target
// path when a move fails for any reason but an existing target.
QString exportFileName(const QString& finishedFile, const QString& baseName,
                       const QString& sourcePath, const QString& extension,
                       const QString& destinationFolder);

#pragma once

// Adds the album to a WAV file as a new RIFF "LIST" chunk of type "INFO" holding one "IPRD"
// entry, appended after every existing chunk (an existing LIST is never replaced), and updates
// the RIFF size.
//
// A file that is not a RIFF/WAVE file, whose chunks run past its end, that carries stray bytes
// after its last chunk, or that would outgrow the 32-bit RIFF size rethrows the caller's
// formatError before anything is written. I/O failures are thrown as std::system_error. A
// failed write is undone (the file is cut back to its old length and its old header kept), so
// the file is never left half-changed.

#include <QByteArray>
#include <QString>

#include <exception>

void writeWaveInfo(const QString& album, const QString& wavePath, std::exception_ptr formatError);

// The chunk appended for an album: "LIST", size, "INFO", "IPRD", n, the UTF-8 text with its
// 0x00 (n counts it), and a pad byte when n is odd.
QByteArray waveInfoChunk(const QString& album);

#pragma once

// Builds a new ID3v2 tag for the head of an MP3 file without touching its audio: the old tag's
// frames are kept, at most two frames are added, and the caller writes the new tag followed by
// the source from oldTagLength on.
//
// Every fault of the old tag (bad header, truncated body or footer, bad extended header, a
// frame past the body, a result too large) rethrows the caller's tagError; failures to open or
// read the file are thrown as std::system_error. Nothing is written here.

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>

struct ID3TagResult {
    QByteArray tag;
    qint64 oldTagLength = 0; // where the audio begins in the source; 0 without a tag
};

// For the rewrite of an edited track: adds the lyrics frame when addLyrics is set, and the
// album frame (dropping every old one) when an album is given.
ID3TagResult writeID3Tag(const QString& sourcePath, const std::optional<QString>& album,
                         std::exception_ptr tagError, bool addLyrics);

// For the export: adds the picture frame unless the file has artwork of its own, and the album
// frame (dropping every old one) when an album is given. isJPEG false means PNG.
ID3TagResult writeExportID3Tag(const QString& sourcePath, const std::optional<QString>& album,
                               std::exception_ptr tagError,
                               const std::optional<QByteArray>& embeddedArtwork,
                               const QByteArray& picture, bool isJPEG);

// After every 0xFF, inserts 0x00 when the 0xFF ends the data or is followed by 0x00 or a byte of
// 0xE0 or above.
QByteArray id3Unsynchronise(const QByteArray& data);
// value in byteCount bytes (3 or 4) of bitsPerByte bits (7 or 8), most significant first.
QByteArray id3SizeBytes(quint64 value, int byteCount, int bitsPerByte);

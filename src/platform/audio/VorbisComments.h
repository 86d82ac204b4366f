#pragma once

// Our own reader of a FLAC file's Vorbis comments. FFmpeg merges comments that share a name into
// one value joined by ";", which loses which value came first; this reader keeps every field in
// file order, exactly as written.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

struct VorbisComment {
    QString name; // as written (Vorbis names are case-insensitive)
    QString value;
};

namespace VorbisComments {

// The comments of the FLAC stream in bytes (an ID3v2 tag in front is skipped). A comment block
// whose header gives too small a length is read as far as its fields say. Nothing when the
// bytes are no FLAC stream or its comment block is damaged; never reads outside the bytes.
std::optional<QList<VorbisComment>> parseFlac(const QByteArray& bytes);

// The comments of the FLAC file at path; reads only the metadata blocks.
std::optional<QList<VorbisComment>> readFlacFile(const QString& path);

// The fields of one VORBIS_COMMENT block body.
std::optional<QList<VorbisComment>> parseCommentBlock(const QByteArray& body);

} // namespace VorbisComments

#pragma once

// Our own reader of the text frames of an ID3v2 tag at the head of a file. FFmpeg keeps only
// the first value of a frame, while ID3v2.4 (and writers of older versions) list several values
// in one frame, separated by zero characters; this reader keeps them all, in order. It also
// reads UTF-16 text whose byte-order mark is missing or damaged, which FFmpeg and TagLib drop.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace ID3v2Tag {

// Undoes unsynchronisation: drops every zero byte that directly follows a 0xFF.
QByteArray resynchronise(const QByteArray& data);

// Length of the ID3v2 tag (header, body and footer) at the start of head; 0 when head starts
// with none.
qint64 length(const QByteArray& head);

// The non-empty values of the wanted text frames ("TPE1", or "TP1" for version 2.2), by frame
// id. Frames that are compressed, encrypted or damaged are left out; never reads past the tag.
QHash<QByteArray, QStringList> parseTextFrames(const QByteArray& tag,
                                               const QList<QByteArray>& wanted);

// The same for the tag at the start of the file at path; nothing when it has none or it cannot
// be read. Reads only the tag's header and the wanted frames.
QHash<QByteArray, QStringList> readTextFrames(const QString& path, const QList<QByteArray>& wanted);

} // namespace ID3v2Tag

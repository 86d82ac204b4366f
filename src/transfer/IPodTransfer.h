#pragma once

// The transfer's shared values and small text rules.

#include "platform/AppLanguage.h"
#include "platform/audio/AudioMetadata.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

namespace IPodTransfer {

// The facts of one probed audio file that its registration in the database needs.
struct Audio {
    QString title;
    QString artist;
    QString album;
    QString albumArtist;           // empty when the file has none
    QString genre;                 // empty when none was found
    std::int32_t milliseconds = 1; // at least 1
    std::uint16_t sampleRate = 0;  // of the file that is copied
    std::int32_t bitrate = 0;      // kbit/s of the file that is copied; 0 when unknown
    std::optional<QByteArray> artwork;

    friend bool operator==(const Audio&, const Audio&) = default;
};

// Lower case, in this order.
inline const QStringList supportedExtensions = {QStringLiteral("mp3"), QStringLiteral("m4a"),
                                                QStringLiteral("aac"), QStringLiteral("flac"),
                                                QStringLiteral("wav")};

// The album of a track that has none.
inline const QString defaultAlbum = QStringLiteral("Lorvanel.APP");

// A file's reporter: a stage key and the share of that file's work done, 0 to 1.
using FileProgress = std::function<void(const QString& stage, double share)>;

// Cuts a text holding a web address ("www", any case) at its first "&", trimmed.
QString stripLinkTail(const QString& text);

// The text unless it is blank, else defaultAlbum.
QString albumOrDefault(const QString& text);

// The value of the first item with that identifier (compared without case); none when there is
// none or it is empty.
std::optional<QString> metadataString(const QString& identifier, const AudioMetadata& items);

// "<name> — <description>", the line that reports one failed file.
QString failureLine(const QString& name, const std::exception& error);

// Rounds half away from zero, as the database's numbers are rounded.
std::int64_t roundHalfAway(double value);

} // namespace IPodTransfer

#pragma once

// Decodes the first audio stream of a file and writes it as a new Apple M4A file (the "ipod"
// muxer): AAC from FFmpeg's native encoder at 44,100 Hz stereo and the chosen bitrate, or Apple
// Lossless at the source's rate and channels. The file gets iTunes metadata atoms and, when
// given, a cover picture, and no encoder item of its own. A failed or cancelled conversion
// leaves no output file.

#include "platform/audio/AudioFile.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

struct AudioCoverArt {
    QByteArray bytes;
    bool isJPEG = false; // else PNG
};

struct AudioWriterSettings {
    enum class Codec { aac, alac };
    Codec codec = Codec::aac;
    std::int64_t bitRate = 320000; // bits per second, AAC only
    // (identifier, value) pairs under MetadataIdentifier's iTunes identifiers, written in order;
    // callers leave out empty values.
    QList<QPair<QString, QString>> metadata;
    std::optional<AudioCoverArt> cover;
};

// What a conversion wrote.
struct ConvertedAudio {
    std::int64_t frames = 0; // audio frames (samples per channel) of the written audio
    int sampleRate = 0;

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0; }
};

namespace AudioConverter {

// Seconds of the source decoded so far.
using Progress = std::function<void(double seconds)>;

// Writes source's audio to outputPath, which must not exist yet (it is created exclusively),
// and returns how much audio it wrote: every decoded sample, whatever the header claimed, so a
// damaged source may give none. Throws AudioError, or CancellationError as soon as isCancelled
// turns true; either way the output is removed.
ConvertedAudio convert(AudioFile& source, const QString& outputPath,
                       const AudioWriterSettings& settings, const Progress& progress,
                       const AudioFile::CancelCheck& isCancelled);

// Writes source's audio stream (AAC or Apple Lossless) into a new Apple M4A file at outputPath
// packet by packet, without decoding, so the samples stay exactly as they were; with the
// settings' metadata and cover (codec and bit rate do not apply). Progress gets the time of each
// packet written. Throws AudioError (kind unsupported for other codings) or CancellationError;
// either way the output is removed.
void rewrap(AudioFile& source, const QString& outputPath, const AudioWriterSettings& settings,
            const Progress& progress, const AudioFile::CancelCheck& isCancelled);

// Pixel size of a JPEG or PNG picture from its header; nothing when it cannot be read.
std::optional<QPair<int, int>> pictureSize(const QByteArray& bytes);

} // namespace AudioConverter

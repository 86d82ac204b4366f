#pragma once

// An audio file opened through libavformat: its first audio stream (attached pictures are
// video streams and never count), the facts of that stream, its metadata items and its
// attached picture. Cancellation reaches FFmpeg's blocking reads through its interrupt callback.

#include "platform/audio/AudioMetadata.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct AVFormatContext;
struct AVPacket;

// Four-character codes of the audio formats, as the iPod's own tools name them.
namespace AudioFormatID {
constexpr std::uint32_t fourCC(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
           std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}
inline constexpr std::uint32_t mpegLayer3 = fourCC(".mp3");
inline constexpr std::uint32_t mpeg4AAC = fourCC("aac ");
inline constexpr std::uint32_t mpeg4AAC_HE = fourCC("aach");
inline constexpr std::uint32_t mpeg4AAC_HE_V2 = fourCC("aacp");
inline constexpr std::uint32_t appleLossless = fourCC("alac");
inline constexpr std::uint32_t flac = fourCC("flac");
inline constexpr std::uint32_t linearPCM = fourCC("lpcm");
} // namespace AudioFormatID

class AudioFile {
public:
    using CancelCheck = std::function<bool()>;

    // Opens and probes the file. Throws AudioError (kind open) when FFmpeg cannot read it, with
    // the system's number when a read of the file failed (a disk error), and CancellationError
    // when isCancelled turns true while it reads. A file without audio opens; hasAudio() then
    // says so.
    static AudioFile open(const QString& path, CancelCheck isCancelled = {});

    AudioFile(AudioFile&&) noexcept;
    AudioFile& operator=(AudioFile&&) noexcept;
    ~AudioFile();

    const QString& path() const;
    bool hasAudio() const;
    // Index of the first audio stream, -1 when there is none.
    int audioStreamIndex() const;

    // Seconds as the file's header gives them; NaN when unknown.
    double durationSeconds() const;
    // True when durationSeconds() cannot be trusted: unknown, guessed from the bit rate (an MP3
    // without a Xing, Info or VBRI header, raw ADTS), or claiming more audio than the file
    // holds (a truncated file). Decided from the header and the file's size alone.
    bool durationNeedsMeasuring() const;
    // What the file's audio packets hold, found in one pass over the file without decoding:
    // their seconds, less what the decoder drops at either end, and their bytes; zeros when it
    // holds none. Reads through its own handle, so this file's reading is not disturbed. Throws
    // AudioError when the system fails a read (a disk error), and CancellationError.
    struct Measured {
        double seconds = 0;
        std::int64_t bytes = 0;
    };
    Measured measureAudio() const;
    // What the audio decodes to, found by decoding every packet: its seconds and the bytes of
    // its packets. complete is false when a packet with audio after it failed to decode, or
    // the file's data could not be read on, and the counting stopped there; the last packet of
    // a cut file may fail. Only the end of the file ends the audio. Reads through its own
    // handle. Throws AudioError when no decoder can be opened or the system fails a read (a
    // disk error, with the system's number), and CancellationError.
    struct Decoded {
        double seconds = 0;
        std::int64_t bytes = 0;
        bool complete = true;
    };
    Decoded decodeAudio() const;
    // Reads the next packet of this file into pkt. The file's end is also where it stops
    // inside the header of a last packet (a cut ADTS file, a stray byte after its last frame),
    // as players take it. damaged: the data past here cannot be read on. Throws AudioError
    // (kind decode, with the system's number) when the system failed a read of the file (a disk
    // error), and CancellationError.
    enum class Read { packet, end, damaged };
    Read readPacket(AVPacket* pkt) const;
    int sampleRate() const;
    int channels() const;
    // One of AudioFormatID, 0 for other codings.
    std::uint32_t formatID() const;
    // Bits per second of the audio stream (else of the whole file); nothing when unknown.
    std::optional<std::int64_t> estimatedDataRate() const;
    // "mp3", "mov,mp4,m4a,3gp,3g2,mj2", "flac", "wav", ...
    QString containerName() const;
    int chapterCount() const;

    // Container-independent items: title, artist, albumName (key space "common").
    AudioMetadata commonMetadata() const;
    // Every item of the file under its own key space.
    AudioMetadata metadata() const;
    // The lyrics an ID3 USLT frame or an iTunes lyrics atom holds; empty when none.
    QString lyrics() const;
    // The bytes of the first attached picture; an empty array when the picture holds none.
    std::optional<QByteArray> attachedPicture() const;

    AVFormatContext* context() const;
    // Makes isCancelled the check FFmpeg's interrupt callback uses from now on.
    void setCancelCheck(CancelCheck isCancelled);

private:
    struct Impl;
    explicit AudioFile(std::unique_ptr<Impl> impl);
    // A second reading of the same file that reads only the audio stream's packets.
    AudioFile openAudioPass() const;
    std::unique_ptr<Impl> d;
};

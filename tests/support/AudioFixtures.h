#pragma once

// Audio files made at test time by the ffmpeg command-line tool (sine tones of a given length,
// rate, channels and coding, with optional tags and cover art), byte builders for the tags the
// tool does not write, and a probe of a produced file through libavformat.
//
// Suites that call probeAudio link FFmpeg's libraries (PkgConfig::FFMPEG).

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <optional>

namespace TestSupport {

struct AudioTags {
    QString title, artist, album, albumArtist, genre, lyrics;
};

struct ToneSpec {
    double seconds = 2.0;
    int sampleRate = 44100;
    int channels = 2;
    // "mp3", "aac", "alac", "flac", "pcm_u8", "pcm_s16le", "pcm_s24le", "pcm_s32le" or
    // "pcm_f32le"; the container follows the file's extension.
    QString codec = QStringLiteral("mp3");
    double amplitude = 0.5; // peak, linear (1 is full scale)
    double frequency = 440.0;
    AudioTags tags;
    QString coverPath;     // an image file to attach as cover art
    QStringList extraArgs; // passed to ffmpeg before the output
};

// True when the ffmpeg tool can be run.
bool hasFFmpegTool();

// Runs ffmpeg with the arguments (quiet, overwriting); false on failure, with its output added
// to the test's failure message.
bool runFFmpeg(const QStringList& arguments);

// Makes a tone. MP3 tags (with USLT lyrics and an APIC picture) are written by our own ID3v2.3
// builder, since the tool writes lyrics as a user text frame.
bool makeTone(const QString& path, const ToneSpec& spec);

// A picture of that size in the format of the extension (png, jpg, gif, tiff, bmp).
bool makePicture(const QString& path, int width, int height,
                 const QString& colour = QStringLiteral("red"));

// An ID3v2.3 tag with the tags' text frames, a USLT frame and, when given, an APIC picture.
QByteArray id3v23Tag(const AudioTags& tags, const QByteArray& picture = {},
                     const QByteArray& pictureMime = QByteArrayLiteral("image/png"));

// Replaces the Vorbis comments of a FLAC file with these fields, in order (duplicates kept).
bool setFlacComments(const QString& path, const QList<QPair<QString, QString>>& fields);

// A WAV file of raw bytes: the RIFF header, then the given chunks as they are.
QByteArray riffWave(const QList<QPair<QByteArray, QByteArray>>& chunks, bool padOdd = true);

// What libavformat sees in a file.
struct ProbedAudio {
    QString formatName;
    QString majorBrand;
    QString codecName; // of the first audio stream
    int audioStreams = 0;
    int sampleRate = 0;
    int channels = 0;
    double durationSeconds = 0;
    long long bitRate = 0;
    QMap<QString, QString> tags; // container metadata, FFmpeg's generic keys
    bool hasCover = false;
    QString coverCodec;
    QByteArray coverData;
    double peak = 0;           // highest absolute sample of the decoded audio (full scale 1)
    double decodedSeconds = 0; // length of the decoded audio
};

// Probes (and, with decode, decodes) the file; nothing when libavformat cannot open it.
std::optional<ProbedAudio> probeAudio(const QString& path, bool decode = false);

} // namespace TestSupport

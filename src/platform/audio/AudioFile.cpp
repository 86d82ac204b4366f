#include "platform/audio/AudioFile.h"

#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FFmpegHandles.h"
#include "platform/audio/VorbisComments.h"

#include <QFile>
#include <QHash>

#include <cmath>
#include <limits>

namespace {

// FFmpeg's generic keys back to the frames and atoms they were read from.
const QHash<QString, QString>& id3Frames() {
    static const QHash<QString, QString> table{
        {QStringLiteral("title"), QStringLiteral("TIT2")},
        {QStringLiteral("artist"), QStringLiteral("TPE1")},
        {QStringLiteral("album"), QStringLiteral("TALB")},
        {QStringLiteral("album_artist"), QStringLiteral("TPE2")},
        {QStringLiteral("genre"), QStringLiteral("TCON")},
        {QStringLiteral("composer"), QStringLiteral("TCOM")},
        {QStringLiteral("copyright"), QStringLiteral("TCOP")},
        {QStringLiteral("encoded_by"), QStringLiteral("TENC")},
        {QStringLiteral("language"), QStringLiteral("TLAN")},
        {QStringLiteral("performer"), QStringLiteral("TPE3")},
        {QStringLiteral("disc"), QStringLiteral("TPOS")},
        {QStringLiteral("publisher"), QStringLiteral("TPUB")},
        {QStringLiteral("track"), QStringLiteral("TRCK")},
        {QStringLiteral("encoder"), QStringLiteral("TSSE")},
        {QStringLiteral("date"), QStringLiteral("TDRC")},
        {QStringLiteral("comment"), QStringLiteral("COMM")},
    };
    return table;
}

const QHash<QString, QString>& iTunesAtoms() {
    static const QHash<QString, QString> table{
        {QStringLiteral("title"), QStringLiteral("\u00A9nam")},
        {QStringLiteral("artist"), QStringLiteral("\u00A9ART")},
        {QStringLiteral("album_artist"), QStringLiteral("aART")},
        {QStringLiteral("album"), QStringLiteral("\u00A9alb")},
        {QStringLiteral("genre"), QStringLiteral("\u00A9gen")},
        {QStringLiteral("lyrics"), QStringLiteral("\u00A9lyr")},
        {QStringLiteral("composer"), QStringLiteral("\u00A9wrt")},
        {QStringLiteral("date"), QStringLiteral("\u00A9day")},
        {QStringLiteral("comment"), QStringLiteral("\u00A9cmt")},
        {QStringLiteral("encoder"), QStringLiteral("\u00A9too")},
        {QStringLiteral("track"), QStringLiteral("trkn")},
        {QStringLiteral("disc"), QStringLiteral("disk")},
        {QStringLiteral("grouping"), QStringLiteral("\u00A9grp")},
        {QStringLiteral("compilation"), QStringLiteral("cpil")},
        {QStringLiteral("copyright"), QStringLiteral("cprt")},
    };
    return table;
}

const QHash<QString, QString>& riffInfo() {
    static const QHash<QString, QString> table{
        {QStringLiteral("title"), QStringLiteral("INAM")},
        {QStringLiteral("artist"), QStringLiteral("IART")},
        {QStringLiteral("album"), QStringLiteral("IPRD")},
        {QStringLiteral("genre"), QStringLiteral("IGNR")},
        {QStringLiteral("comment"), QStringLiteral("ICMT")},
        {QStringLiteral("date"), QStringLiteral("ICRD")},
        {QStringLiteral("encoder"), QStringLiteral("ISFT")},
        {QStringLiteral("copyright"), QStringLiteral("ICOP")},
        {QStringLiteral("track"), QStringLiteral("ITRK")},
    };
    return table;
}

enum class Container { mp3, mp4, flac, wav, other };

Container containerOf(const AVFormatContext* ic) {
    const QLatin1String name(ic->iformat->name);
    if (name == QLatin1String("mp3"))
        return Container::mp3;
    if (name.startsWith(QLatin1String("mov")))
        return Container::mp4;
    if (name == QLatin1String("flac"))
        return Container::flac;
    if (name == QLatin1String("wav"))
        return Container::wav;
    return Container::other;
}

bool isLyricsKey(const QString& key) {
    return key == QLatin1String("lyrics") || key.startsWith(QLatin1String("lyrics-"));
}

} // namespace

struct AudioFile::Impl {
    QString path;
    AudioFile::CancelCheck isCancelled;
    FFmpeg::Input input;
    int audioIndex = -1;
    Container container = Container::other;
    std::optional<QList<VorbisComment>> vorbis; // FLAC only

    static int interrupt(void* opaque) {
        auto* self = static_cast<Impl*>(opaque);
        return self->isCancelled && self->isCancelled() ? 1 : 0;
    }
    const AVStream* audio() const { return audioIndex >= 0 ? input->streams[audioIndex] : nullptr; }
};

AudioFile::AudioFile(std::unique_ptr<Impl> impl)
    : d(std::move(impl)) {
}
AudioFile::AudioFile(AudioFile&&) noexcept = default;
AudioFile& AudioFile::operator=(AudioFile&&) noexcept = default;
AudioFile::~AudioFile() = default;

AudioFile AudioFile::open(const QString& path, CancelCheck isCancelled) {
    // FFmpeg's own chatter on stderr is no concern of the user's; errors come back as values.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);
        return true;
    }();
    (void)quiet;
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->isCancelled = std::move(isCancelled);
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw AudioError(AudioError::Kind::open, AVERROR(ENOMEM));
    raw->interrupt_callback.callback = &Impl::interrupt;
    raw->interrupt_callback.opaque = impl.get();
    const QByteArray local = QFile::encodeName(path);
    // "file:" keeps a name with a colon from being taken for another protocol.
    const QByteArray url = QByteArrayLiteral("file:") + local;
    int rc = avformat_open_input(&raw, url.constData(), nullptr, nullptr);
    if (rc < 0) {
        if (impl->isCancelled && impl->isCancelled())
            throw CancellationError();
        throw AudioError(AudioError::Kind::open, rc);
    }
    impl->input.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0) {
        if (impl->isCancelled && impl->isCancelled())
            throw CancellationError();
        throw AudioError(AudioError::Kind::open, rc);
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            impl->audioIndex = int(i);
            break;
        }
    }
    impl->container = containerOf(raw);
    if (impl->container == Container::flac)
        impl->vorbis = VorbisComments::readFlacFile(path);
    return AudioFile(std::move(impl));
}

const QString& AudioFile::path() const {
    return d->path;
}

bool AudioFile::hasAudio() const {
    return d->audioIndex >= 0;
}

int AudioFile::audioStreamIndex() const {
    return d->audioIndex;
}

double AudioFile::durationSeconds() const {
    const AVFormatContext* ic = d->input.get();
    if (ic->duration != AV_NOPTS_VALUE && ic->duration >= 0)
        return double(ic->duration) / AV_TIME_BASE;
    if (const AVStream* st = d->audio(); st && st->duration != AV_NOPTS_VALUE)
        return double(st->duration) * av_q2d(st->time_base);
    return std::numeric_limits<double>::quiet_NaN();
}

int AudioFile::sampleRate() const {
    const AVStream* st = d->audio();
    return st ? st->codecpar->sample_rate : 0;
}

int AudioFile::channels() const {
    const AVStream* st = d->audio();
    return st ? st->codecpar->ch_layout.nb_channels : 0;
}

std::uint32_t AudioFile::formatID() const {
    const AVStream* st = d->audio();
    if (!st)
        return 0;
    const AVCodecParameters* p = st->codecpar;
    switch (p->codec_id) {
    case AV_CODEC_ID_MP3:
        return AudioFormatID::mpegLayer3;
    case AV_CODEC_ID_AAC:
        if (p->profile == FF_PROFILE_AAC_HE)
            return AudioFormatID::mpeg4AAC_HE;
        if (p->profile == FF_PROFILE_AAC_HE_V2)
            return AudioFormatID::mpeg4AAC_HE_V2;
        return AudioFormatID::mpeg4AAC;
    case AV_CODEC_ID_ALAC:
        return AudioFormatID::appleLossless;
    case AV_CODEC_ID_FLAC:
        return AudioFormatID::flac;
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S24BE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_S32BE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_F32BE:
    case AV_CODEC_ID_PCM_F64LE:
    case AV_CODEC_ID_PCM_F64BE:
        return AudioFormatID::linearPCM;
    default:
        return 0;
    }
}

std::optional<std::int64_t> AudioFile::estimatedDataRate() const {
    if (const AVStream* st = d->audio(); st && st->codecpar->bit_rate > 0)
        return st->codecpar->bit_rate;
    if (d->input->bit_rate > 0)
        return d->input->bit_rate;
    return std::nullopt;
}

QString AudioFile::containerName() const {
    return QString::fromLatin1(d->input->iformat->name);
}

int AudioFile::chapterCount() const {
    return int(d->input->nb_chapters);
}

AudioMetadata AudioFile::commonMetadata() const {
    AudioMetadata items;
    const QString keys[] = {QStringLiteral("title"), QStringLiteral("artist"),
                            QStringLiteral("albumName")};
    const char* ffmpegKeys[] = {"title", "artist", "album"};
    for (int i = 0; i < 3; ++i) {
        QString value;
        if (d->vorbis) {
            // The first comment of that name, not FFmpeg's merge of all of them.
            for (const VorbisComment& c : *d->vorbis) {
                if (c.name.compare(QLatin1String(ffmpegKeys[i]), Qt::CaseInsensitive) == 0) {
                    value = c.value;
                    break;
                }
            }
        } else if (const AVDictionaryEntry* e =
                       av_dict_get(d->input->metadata, ffmpegKeys[i], nullptr, 0)) {
            value = QString::fromUtf8(e->value);
        }
        if (!value.isNull())
            items.append({QStringLiteral("common"), keys[i], value});
    }
    return items;
}

AudioMetadata AudioFile::metadata() const {
    AudioMetadata items;
    if (d->container == Container::flac) {
        if (d->vorbis)
            for (const VorbisComment& c : *d->vorbis)
                items.append({QStringLiteral("vorb"), c.name, c.value});
        return items;
    }
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(d->input->metadata, "", e, AV_DICT_IGNORE_SUFFIX))) {
        const QString key = QString::fromUtf8(e->key);
        const QString value = QString::fromUtf8(e->value);
        switch (d->container) {
        case Container::mp3:
            items.append({QStringLiteral("id3"),
                          isLyricsKey(key) ? QStringLiteral("USLT") : id3Frames().value(key, key),
                          value});
            break;
        case Container::mp4:
            items.append({QStringLiteral("itsk"), iTunesAtoms().value(key, key), value});
            break;
        case Container::wav:
            items.append({QStringLiteral("riff"), riffInfo().value(key, key), value});
            break;
        default:
            items.append({QStringLiteral("other"), key, value});
            break;
        }
    }
    return items;
}

QString AudioFile::lyrics() const {
    if (d->container == Container::flac)
        return {};
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(d->input->metadata, "lyrics", e,
                            AV_DICT_IGNORE_SUFFIX | AV_DICT_MATCH_CASE))) {
        const QString key = QString::fromUtf8(e->key);
        const QString value = QString::fromUtf8(e->value);
        if (isLyricsKey(key) && !value.trimmed().isEmpty())
            return value;
    }
    return {};
}

std::optional<QByteArray> AudioFile::attachedPicture() const {
    const AVFormatContext* ic = d->input.get();
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        const AVStream* st = ic->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            const AVPacket& pic = st->attached_pic;
            return QByteArray(reinterpret_cast<const char*>(pic.data), pic.data ? pic.size : 0);
        }
    }
    return std::nullopt;
}

AVFormatContext* AudioFile::context() const {
    return d->input.get();
}

void AudioFile::setCancelCheck(CancelCheck isCancelled) {
    d->isCancelled = std::move(isCancelled);
}

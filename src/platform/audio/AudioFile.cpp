#include "platform/audio/AudioFile.h"

#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FFmpegHandles.h"
#include "platform/audio/ID3v2Tag.h"
#include "platform/audio/TagLibTags.h"
#include "platform/audio/VorbisComments.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <QFile>
#include <QHash>

#include <algorithm>
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
        // Not in the INFO list's own set; some writers use IAAR, and an "id3 " chunk gives
        // FFmpeg's key.
        {QStringLiteral("album_artist"), QStringLiteral("IAAR")},
        {QStringLiteral("comment"), QStringLiteral("ICMT")},
        {QStringLiteral("date"), QStringLiteral("ICRD")},
        {QStringLiteral("encoder"), QStringLiteral("ISFT")},
        {QStringLiteral("copyright"), QStringLiteral("ICOP")},
        {QStringLiteral("track"), QStringLiteral("ITRK")},
    };
    return table;
}

enum class Container { mp3, mp4, flac, wav, adts, other };

Container containerOf(const AVFormatContext* ic) {
    const QLatin1String name(ic->iformat->name);
    if (name == QLatin1String("mp3"))
        return Container::mp3;
    if (name == QLatin1String("aac"))
        return Container::adts;
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

// Vorbis names of the album artist, as writers spell it.
bool isVorbisAlbumArtist(const QString& name) {
    return name.compare(QLatin1String("ALBUMARTIST"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("ALBUM ARTIST"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("ALBUM_ARTIST"), Qt::CaseInsensitive) == 0;
}

// The ID3 frames that may list several people, with FFmpeg's keys for them.
const QList<std::pair<QByteArray, const char*>>& multiValueFrames() {
    static const QList<std::pair<QByteArray, const char*>> frames{
        {"TPE1", "artist"}, {"TP1", "artist"}, {"TPE2", "album_artist"}, {"TP2", "album_artist"}};
    return frames;
}

// The fields the import takes, by FFmpeg's key, with their ID3v2 frames (version 2.3 and 2.4,
// then 2.2) and where the fallback keeps them.
struct FallbackField {
    const char* key;
    QByteArray frame, olderFrame;
    std::optional<QString> TagLibTags::Tags::*value;
};
const QList<FallbackField>& fallbackFields() {
    using Tags = TagLibTags::Tags;
    static const QList<FallbackField> fields{{"title", "TIT2", "TT2", &Tags::title},
                                             {"artist", "TPE1", "TP1", &Tags::artist},
                                             {"album", "TALB", "TAL", &Tags::album},
                                             {"album_artist", "TPE2", "TP2", &Tags::albumArtist},
                                             {"genre", "TCON", "TCO", &Tags::genre}};
    return fields;
}

// The failure of the system that the file's I/O context recorded (a disk error), else 0. The
// demuxer's own number is no proof either way: it may pass a failed read on as the end or as
// damaged data, and the ADTS reader answers a short header at the end with EIO of its own.
int systemFailure(const AVFormatContext* ic) {
    if (!ic->pb || ic->pb->error >= 0)
        return 0;
    return AudioError(AudioError::Kind::decode, ic->pb->error).isSystemError() ? ic->pb->error : 0;
}

} // namespace

struct AudioFile::Impl {
    QString path;
    AudioFile::CancelCheck isCancelled;
    // Ours, so that its error is still there when the open fails; closed after the input.
    FFmpeg::IO io;
    FFmpeg::Input input;
    int audioIndex = -1;
    Container container = Container::other;
    std::optional<QList<VorbisComment>> vorbis; // FLAC only
    // FFmpeg keeps the first value of an ID3 frame; where a frame lists several, all of them
    // joined, by FFmpeg's key.
    QHash<QString, QString> joinedValues;
    // The ID3v2 text frames of the fields the import takes, as our own reader finds them.
    QHash<QByteArray, QStringList> ownFrames;
    mutable std::optional<TagLibTags::Tags> fallback;

    // What TagLib, then our own reader, find for a field the import takes, by FFmpeg's key;
    // read once, when first asked for. Only MPEG and WAV files have tags FFmpeg may miss.
    std::optional<QString> fallbackText(const QString& key) const {
        if (container != Container::mp3 && container != Container::wav)
            return std::nullopt;
        const auto field =
            std::find_if(fallbackFields().cbegin(), fallbackFields().cend(),
                         [&](const FallbackField& f) { return key == QLatin1String(f.key); });
        if (field == fallbackFields().cend())
            return std::nullopt;
        if (!fallback) {
            fallback = container == Container::mp3 ? TagLibTags::readMpeg(path)
                                                   : TagLibTags::readWave(path);
            // TagLib gives no text for UTF-16 without a valid byte-order mark; ours does.
            for (const FallbackField& f : fallbackFields()) {
                QStringList values = ownFrames.value(f.frame) + ownFrames.value(f.olderFrame);
                if (f.value == &TagLibTags::Tags::genre)
                    std::transform(values.begin(), values.end(), values.begin(),
                                   TagLibTags::genreName);
                if (!(*fallback.*f.value) && !values.isEmpty())
                    *fallback.*f.value = joinTagValues(values);
            }
        }
        return *fallback.*field->value;
    }

    // The text of one of FFmpeg's keys, none when the file has no such item.
    std::optional<QString> text(const char* key) const {
        if (const auto joined = joinedValues.constFind(QLatin1String(key));
            joined != joinedValues.cend())
            return *joined;
        if (const AVDictionaryEntry* e = av_dict_get(input->metadata, key, nullptr, 0))
            return decodeTagText(e->value);
        return std::nullopt;
    }
    // Every Vorbis comment value under a name that matches, joined.
    std::optional<QString> vorbisText(const std::function<bool(const QString&)>& matches) const {
        QStringList values;
        for (const VorbisComment& c : *vorbis)
            if (matches(c.name))
                values.append(c.value);
        if (values.isEmpty())
            return std::nullopt;
        return joinTagValues(values);
    }

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
    // A failed read while the header is parsed surfaces as damaged data or as no header at all:
    // the I/O context's own error tells the system's failures apart.
    const auto fail = [&](int rc) {
        if (impl->isCancelled && impl->isCancelled())
            throw CancellationError();
        if (const AudioError error(AudioError::Kind::open, impl->io ? impl->io->error : 0);
            error.isSystemError())
            throw error;
        throw AudioError(AudioError::Kind::open, rc);
    };
    AVIOContext* io = nullptr;
    int rc = avio_open2(&io, url.constData(), AVIO_FLAG_READ, &raw->interrupt_callback, nullptr);
    if (rc < 0) {
        avformat_free_context(raw);
        fail(rc);
    }
    impl->io.reset(io);
    raw->pb = io;
    // On failure this frees the context, but not the I/O context it was given.
    rc = avformat_open_input(&raw, url.constData(), nullptr, nullptr);
    if (rc < 0)
        fail(rc);
    impl->input.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    // The probe of the packets ends quietly at a failed read.
    if (rc < 0 || systemFailure(raw))
        fail(rc);
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
    if (impl->container == Container::mp3 || impl->container == Container::adts) {
        QList<QByteArray> wanted;
        for (const FallbackField& field : fallbackFields())
            wanted << field.frame << field.olderFrame;
        impl->ownFrames = ID3v2Tag::readTextFrames(path, wanted);
        for (const auto& [frame, key] : multiValueFrames()) {
            // Repeated frames count too: FFmpeg keeps one of them, not necessarily the first.
            const QStringList values = impl->ownFrames.value(frame);
            if (values.size() > 1)
                impl->joinedValues.insert(QLatin1String(key), joinTagValues(values));
        }
    }
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

bool AudioFile::durationNeedsMeasuring() const {
    const double duration = durationSeconds();
    if (!std::isfinite(duration) || duration <= 0)
        return true;
    AVFormatContext* ic = d->input.get();
    if (ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return true;
    if (d->audioIndex < 0 || !ic->pb)
        return false;
    AVStream* st = ic->streams[d->audioIndex];
    const std::int64_t fileSize = avio_size(ic->pb);
    if (fileSize <= 0)
        return false;
    if (d->container == Container::mp4) {
        // The sample table lists where every packet lies; a cut file ends before the last.
        const int entries = avformat_index_get_entries_count(st);
        const AVIndexEntry* last =
            entries > 0 ? avformat_index_get_entry(st, entries - 1) : nullptr;
        return last && last->pos + last->size > fileSize;
    }
    if (d->container == Container::mp3) {
        // The header's frame count at the stream's bit rate is the audio's size in bytes; a
        // file that holds less than that, by more than one frame, was cut.
        const std::int64_t bitRate = st->codecpar->bit_rate;
        const int rate = st->codecpar->sample_rate;
        if (bitRate <= 0 || rate <= 0)
            return true;
        QFile file(d->path);
        const qint64 tag = file.open(QIODevice::ReadOnly) ? ID3v2Tag::length(file.read(10)) : 0;
        const double audioBytes = double(fileSize - tag);
        const double claimedBytes = duration * double(bitRate) / 8;
        const double frameBytes = 1152.0 * double(bitRate) / 8 / rate;
        return audioBytes + frameBytes < claimedBytes;
    }
    return false;
}

AudioFile AudioFile::openAudioPass() const {
    AudioFile pass = AudioFile::open(d->path, d->isCancelled);
    if (pass.hasAudio()) {
        AVFormatContext* ic = pass.d->input.get();
        for (unsigned i = 0; i < ic->nb_streams; ++i)
            if (int(i) != pass.d->audioIndex)
                ic->streams[i]->discard = AVDISCARD_ALL;
    }
    return pass;
}

AudioFile::Measured AudioFile::measureAudio() const {
    const AudioFile pass = openAudioPass();
    if (!pass.hasAudio())
        return {};
    AVFormatContext* ic = pass.d->input.get();
    const int index = pass.d->audioIndex;
    AVStream* st = ic->streams[index];
    const int rate = st->codecpar->sample_rate;
    FFmpeg::Packet pkt(av_packet_alloc());
    if (!pkt || rate <= 0)
        return {};
    std::int64_t bytes = 0;
    std::int64_t total = 0;   // in the stream's time base
    std::int64_t dropped = 0; // samples the decoder skips at the start or discards at the end
    // Damaged data ends the measuring where the file stops being readable.
    for (;;) {
        if (d->isCancelled && d->isCancelled())
            throw CancellationError();
        if (pass.readPacket(pkt.get()) != Read::packet)
            break;
        if (pkt->stream_index == index &&
            !(pkt->flags & (AV_PKT_FLAG_CORRUPT | AV_PKT_FLAG_DISCARD))) {
            std::int64_t length = pkt->duration;
            if (length <= 0)
                length = av_rescale_q(av_get_audio_frame_duration2(st->codecpar, pkt->size),
                                      AVRational{1, rate}, st->time_base);
            total += std::max<std::int64_t>(0, length);
            bytes += pkt->size;
            size_t size = 0;
            if (const uint8_t* skip =
                    av_packet_get_side_data(pkt.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                skip && size >= 8)
                dropped += std::int64_t(AV_RL32(skip)) + std::int64_t(AV_RL32(skip + 4));
        }
        av_packet_unref(pkt.get());
    }
    return {std::max(0.0, double(total) * av_q2d(st->time_base) - double(dropped) / rate), bytes};
}

AudioFile::Decoded AudioFile::decodeAudio() const {
    const AudioFile pass = openAudioPass();
    if (!pass.hasAudio())
        return {};
    AVFormatContext* ic = pass.d->input.get();
    const int index = pass.d->audioIndex;
    const AVStream* st = ic->streams[index];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw AudioError(AudioError::Kind::unsupported, AVERROR_DECODER_NOT_FOUND);
    FFmpeg::Codec decoder(avcodec_alloc_context3(codec));
    FFmpeg::Packet pkt(av_packet_alloc());
    FFmpeg::Frame frame(av_frame_alloc());
    if (!decoder || !pkt || !frame)
        throw AudioError(AudioError::Kind::decode, AVERROR(ENOMEM));
    int rc = avcodec_parameters_to_context(decoder.get(), st->codecpar);
    if (rc < 0)
        throw AudioError(AudioError::Kind::decode, rc);
    decoder->pkt_timebase = st->time_base;
    rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc < 0)
        throw AudioError(AudioError::Kind::decode, rc);

    Decoded decoded;
    const auto cancelled = [&] { return d->isCancelled && d->isCancelled(); };
    // False when a frame failed; the decoder drops the priming and padding samples itself.
    const auto receive = [&] {
        for (;;) {
            const int got = avcodec_receive_frame(decoder.get(), frame.get());
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
                return true;
            if (got < 0)
                return false;
            if (frame->sample_rate > 0)
                decoded.seconds += double(frame->nb_samples) / frame->sample_rate;
            av_frame_unref(frame.get());
        }
    };
    // A file cut short ends inside its last packet; only a failure with audio after it is
    // damage.
    bool failed = false;
    for (;;) {
        if (cancelled())
            throw CancellationError();
        if (const Read read = pass.readPacket(pkt.get()); read != Read::packet) {
            if (read == Read::damaged) {
                decoded.complete = false; // what lies past the damage is unknown
                return decoded;
            }
            break;
        }
        if (pkt->stream_index == index) {
            if (failed) {
                decoded.complete = false;
                return decoded;
            }
            decoded.bytes += pkt->size;
            failed = avcodec_send_packet(decoder.get(), pkt.get()) < 0 || !receive();
        }
        av_packet_unref(pkt.get());
    }
    if (!failed && avcodec_send_packet(decoder.get(), nullptr) >= 0)
        receive();
    return decoded;
}

AudioFile::Read AudioFile::readPacket(AVPacket* pkt) const {
    AVFormatContext* ic = d->input.get();
    const int rc = av_read_frame(ic, pkt);
    if (rc >= 0)
        return Read::packet;
    if (d->isCancelled && d->isCancelled())
        throw CancellationError();
    if (const int failure = systemFailure(ic))
        throw AudioError(AudioError::Kind::decode, failure);
    if (rc == AVERROR_EOF)
        return Read::end;
    // Read up to the file's last byte without a failure: what is left is too short for a packet.
    const AVIOContext* pb = ic->pb;
    const std::int64_t size = pb ? avio_size(ic->pb) : -1;
    if (pb && pb->eof_reached && size >= 0 && avio_tell(ic->pb) >= size)
        return Read::end;
    return Read::damaged;
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
    const auto add = [&](const QString& key, const std::optional<QString>& value) {
        if (value)
            items.append({QStringLiteral("common"), key, *value});
    };
    if (d->vorbis) {
        // The first title and album as written; every artist, since songs have several.
        const auto first = [&](const char* name) -> std::optional<QString> {
            for (const VorbisComment& c : *d->vorbis)
                if (c.name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return c.value;
            return std::nullopt;
        };
        add(QStringLiteral("title"), first("title"));
        add(QStringLiteral("artist"), d->vorbisText([](const QString& name) {
            return name.compare(QLatin1String("artist"), Qt::CaseInsensitive) == 0;
        }));
        add(QStringLiteral("albumName"), first("album"));
        add(QStringLiteral("albumArtist"), d->vorbisText(isVorbisAlbumArtist));
        return items;
    }
    // FFmpeg drops the tags it finds damaged, and never reads APEv2 tags, ID3v1 beside ID3v2,
    // a second ID3v2 tag or an INFO list behind the audio: the fallback fills what it misses.
    const auto field = [&](const char* key) {
        std::optional<QString> value = d->text(key);
        if (!value && d->container == Container::wav && qstrcmp(key, "album_artist") == 0)
            value = d->text("IAAR");
        if (!value || value->trimmed().isEmpty()) {
            if (auto fallback = d->fallbackText(QLatin1String(key)))
                value = std::move(fallback);
        }
        return value;
    };
    add(QStringLiteral("title"), field("title"));
    add(QStringLiteral("artist"), field("artist"));
    add(QStringLiteral("albumName"), field("album"));
    add(QStringLiteral("albumArtist"), field("album_artist"));
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
    const auto add = [&](const QString& key, const QString& value) {
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
    };
    // The fields the import takes come from the fallback where FFmpeg has no text for them.
    QStringList seen;
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(d->input->metadata, "", e, AV_DICT_IGNORE_SUFFIX))) {
        const QString key = QString::fromUtf8(e->key);
        QString value = d->joinedValues.value(key, decodeTagText(e->value));
        if (value.trimmed().isEmpty())
            value = d->fallbackText(key).value_or(value);
        seen.append(key == QLatin1String("IAAR") ? QStringLiteral("album_artist") : key);
        add(key, value);
    }
    for (const FallbackField& field : fallbackFields()) {
        const QString key = QLatin1String(field.key);
        if (!seen.contains(key)) {
            if (const auto value = d->fallbackText(key))
                add(key, *value);
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
        const QString value = decodeTagText(e->value);
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

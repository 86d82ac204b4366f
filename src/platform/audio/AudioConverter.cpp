#include "platform/audio/AudioConverter.h"

#include "platform/OwnedFd.h"
#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FFmpegHandles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <QFile>
#include <QHash>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int aacSampleRate = 44100;
constexpr int ioBufferSize = 64 * 1024;

using Kind = AudioError::Kind;

void check(int rc, Kind kind) {
    if (rc < 0)
        throw AudioError(kind, rc);
}

// The source's next packet; false at its end. Data that cannot be read on is damaged; the
// system's failures throw with their own number.
bool readPacket(const AudioFile& source, AVPacket* pkt) {
    switch (source.readPacket(pkt)) {
    case AudioFile::Read::packet:
        return true;
    case AudioFile::Read::end:
        return false;
    case AudioFile::Read::damaged:
        break;
    }
    throw AudioError(Kind::decode, AVERROR_INVALIDDATA);
}

// The iTunes identifiers the mov muxer writes, as its generic keys.
const QHash<QString, QByteArray>& muxerKeys() {
    static const QHash<QString, QByteArray> table{
        {QStringLiteral("itsk/\u00A9nam"), "title"},
        {QStringLiteral("itsk/\u00A9ART"), "artist"},
        {QStringLiteral("itsk/aART"), "album_artist"},
        {QStringLiteral("itsk/\u00A9alb"), "album"},
        {QStringLiteral("itsk/\u00A9gen"), "genre"},
        {QStringLiteral("itsk/\u00A9lyr"), "lyrics"},
        {QStringLiteral("itsk/\u00A9wrt"), "composer"},
        {QStringLiteral("itsk/\u00A9day"), "date"},
        {QStringLiteral("itsk/\u00A9cmt"), "comment"},
        {QStringLiteral("itsk/trkn"), "track"},
        {QStringLiteral("itsk/disk"), "disc"},
        {QStringLiteral("itsk/\u00A9grp"), "grouping"},
        {QStringLiteral("itsk/cpil"), "compilation"},
        {QStringLiteral("itsk/cprt"), "copyright"},
    };
    return table;
}

// The output file, written through our own descriptor so that it is created exclusively and
// every write error is seen.
struct OutputFile {
    OwnedFd fd;
    AVIOContext* io = nullptr;

    static int write(void* opaque, uint8_t* buf, int size) {
        auto* self = static_cast<OutputFile*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t n = ::write(self->fd.get(), buf + done, size_t(size - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return AVERROR(errno);
            }
            done += int(n);
        }
        return size;
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<OutputFile*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat st {};
            return fstat(self->fd.get(), &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        }
        const off_t at = lseek(self->fd.get(), off_t(offset), whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : int64_t(at);
    }

    void open(const QString& path) {
        fd.reset(::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!fd.isValid())
            throw AudioError::fromErrno(Kind::encode, errno);
        auto* buffer = static_cast<unsigned char*>(av_malloc(ioBufferSize));
        if (!buffer)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        io = avio_alloc_context(buffer, ioBufferSize, 1, this, nullptr, &OutputFile::write,
                                &OutputFile::seek);
        if (!io) {
            av_free(buffer);
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        }
    }
    // Flushes and closes, reporting the first error.
    void finish() {
        avio_flush(io);
        if (io->error < 0)
            throw AudioError(Kind::encode, io->error);
        if (fsync(fd.get()) != 0 && errno != EINVAL)
            throw AudioError::fromErrno(Kind::encode, errno);
        if (!fd.tryClose())
            throw AudioError::fromErrno(Kind::encode, errno);
    }
    ~OutputFile() {
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

struct MuxerDeleter {
    void operator()(AVFormatContext* c) const {
        c->pb = nullptr; // owned by OutputFile
        avformat_free_context(c);
    }
};

// Sets the muxer's iTunes items and adds the cover's picture stream; the stream or null.
AVStream* addMetadataAndCover(AVFormatContext* muxer, const AudioWriterSettings& settings) {
    for (const auto& [identifier, value] : settings.metadata) {
        const auto key = muxerKeys().constFind(identifier);
        if (key == muxerKeys().cend() || value.isEmpty())
            continue;
        check(av_dict_set(&muxer->metadata, key->constData(), value.toUtf8().constData(), 0),
              Kind::encode);
    }
    if (!settings.cover || settings.cover->bytes.isEmpty())
        return nullptr;
    AVStream* cover = avformat_new_stream(muxer, nullptr);
    if (!cover)
        throw AudioError(Kind::encode, AVERROR(ENOMEM));
    cover->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    cover->codecpar->codec_id = settings.cover->isJPEG ? AV_CODEC_ID_MJPEG : AV_CODEC_ID_PNG;
    // The muxer refuses a picture stream without a size; an unreadable header still embeds
    // the bytes.
    const auto size = AudioConverter::pictureSize(settings.cover->bytes);
    cover->codecpar->width = size ? size->first : 1;
    cover->codecpar->height = size ? size->second : 1;
    cover->disposition = AV_DISPOSITION_ATTACHED_PIC;
    cover->time_base = AVRational{1, 90000};
    return cover;
}

// After the header: the picture's one packet.
void writeCover(AVFormatContext* muxer, AVStream* cover, const AudioWriterSettings& settings) {
    if (!cover)
        return;
    FFmpeg::Packet pkt(av_packet_alloc());
    if (!pkt)
        throw AudioError(Kind::encode, AVERROR(ENOMEM));
    check(av_new_packet(pkt.get(), int(settings.cover->bytes.size())), Kind::encode);
    memcpy(pkt->data, settings.cover->bytes.constData(), size_t(pkt->size));
    pkt->stream_index = cover->index;
    pkt->flags |= AV_PKT_FLAG_KEY;
    pkt->pts = pkt->dts = 0;
    check(av_write_frame(muxer, pkt.get()), Kind::encode);
}

// A buffer of converted samples, grown on demand.
struct SampleBuffer {
    uint8_t** data = nullptr;
    int capacity = 0;
    void reserve(int samples, int channels, AVSampleFormat format) {
        if (samples <= capacity)
            return;
        release();
        check(av_samples_alloc_array_and_samples(&data, nullptr, channels, samples, format, 0),
              Kind::encode);
        capacity = samples;
    }
    void release() {
        if (data) {
            av_freep(&data[0]);
            av_freep(&data);
        }
        capacity = 0;
    }
    ~SampleBuffer() { release(); }
};

class Conversion {
public:
    Conversion(AudioFile& source, const AudioWriterSettings& settings,
               const AudioConverter::Progress& progress, const AudioFile::CancelCheck& cancelled)
        : source(source)
        , settings(settings)
        , progress(progress)
        , cancelled(cancelled) {}

    ConvertedAudio run(const QString& outputPath) {
        openDecoder();
        output.open(outputPath);
        created = true;
        openMuxer(outputPath);
        streamAudio();
        return {audioFrames, encoder->sample_rate};
    }

private:
    AudioFile& source;
    const AudioWriterSettings& settings;
    const AudioConverter::Progress& progress;
    const AudioFile::CancelCheck& cancelled;

    const AVStream* input = nullptr;
    FFmpeg::Codec decoder;
    FFmpeg::Codec encoder;
    FFmpeg::Resampler resampler;
    FFmpeg::Fifo fifo;
    OutputFile output;
    std::unique_ptr<AVFormatContext, MuxerDeleter> muxer;
    AVStream* audioOut = nullptr;
    AVStream* coverOut = nullptr;
    SampleBuffer converted;
    AVChannelLayout resamplerInput{};
    AVSampleFormat resamplerFormat = AV_SAMPLE_FMT_NONE;
    int resamplerRate = 0;
    int64_t samplesWritten = 0; // including the silence that fills a last short frame
    int64_t audioFrames = 0;    // without it
    int frameSize = 0;

    bool created = false;

    bool isCancelled() const { return cancelled && cancelled(); }

    void openDecoder() {
        if (!source.hasAudio())
            throw AudioError(Kind::noAudio, 0);
        input = source.context()->streams[source.audioStreamIndex()];
        const AVCodec* codec = avcodec_find_decoder(input->codecpar->codec_id);
        if (!codec)
            throw AudioError(Kind::unsupported, AVERROR_DECODER_NOT_FOUND);
        decoder.reset(avcodec_alloc_context3(codec));
        if (!decoder)
            throw AudioError(Kind::decode, AVERROR(ENOMEM));
        check(avcodec_parameters_to_context(decoder.get(), input->codecpar), Kind::decode);
        decoder->pkt_timebase = input->time_base;
        check(avcodec_open2(decoder.get(), codec, nullptr), Kind::decode);
    }

    // The source's channel layout, with a default order when the file gives none (WAV files
    // without a channel mask).
    static void layoutOf(const AVChannelLayout& given, AVChannelLayout& out) {
        if (given.order == AV_CHANNEL_ORDER_UNSPEC || given.nb_channels <= 0)
            av_channel_layout_default(&out, given.nb_channels > 0 ? given.nb_channels : 2);
        else
            check(av_channel_layout_copy(&out, &given), Kind::encode);
    }

    void openEncoder() {
        const bool aac = settings.codec == AudioWriterSettings::Codec::aac;
        const AVCodec* codec = avcodec_find_encoder(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_ALAC);
        if (!codec)
            throw AudioError(Kind::unsupported, AVERROR_ENCODER_NOT_FOUND);
        encoder.reset(avcodec_alloc_context3(codec));
        if (!encoder)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        AVCodecContext* c = encoder.get();
        if (aac) {
            c->sample_fmt = AV_SAMPLE_FMT_FLTP;
            c->sample_rate = aacSampleRate;
            av_channel_layout_default(&c->ch_layout, 2);
            c->bit_rate = settings.bitRate;
        } else {
            const int channels = decoder->ch_layout.nb_channels;
            if (channels < 1 || channels > 8)
                throw AudioError(Kind::unsupported, 0);
            layoutOf(decoder->ch_layout, c->ch_layout);
            c->sample_rate = decoder->sample_rate;
            const int bits = decoder->bits_per_raw_sample > 0
                                 ? decoder->bits_per_raw_sample
                                 : av_get_bytes_per_sample(decoder->sample_fmt) * 8;
            const AVSampleFormat packed = av_get_packed_sample_fmt(decoder->sample_fmt);
            // Apple Lossless takes integers of at most 24 bits; anything else would lose bits.
            if (packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL || bits > 24)
                throw AudioError(Kind::unsupported, 0);
            if (bits <= 16) {
                c->sample_fmt = AV_SAMPLE_FMT_S16P;
            } else {
                c->sample_fmt = AV_SAMPLE_FMT_S32P;
                c->bits_per_raw_sample = 24;
            }
        }
        c->time_base = AVRational{1, c->sample_rate};
        c->flags |= AV_CODEC_FLAG_BITEXACT;
        if (muxer->oformat->flags & AVFMT_GLOBALHEADER)
            c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        check(avcodec_open2(c, codec, nullptr), Kind::encode);
        frameSize = c->frame_size > 0 ? c->frame_size : 4096;
        fifo.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, frameSize * 2));
        if (!fifo)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
    }

    void openMuxer(const QString& outputPath) {
        AVFormatContext* raw = nullptr;
        // The muxer checks the name's extension; the bytes go through our own descriptor.
        check(avformat_alloc_output_context2(&raw, nullptr, "ipod",
                                             QFile::encodeName(outputPath).constData()),
              Kind::encode);
        muxer.reset(raw);
        raw->pb = output.io;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
        openEncoder();
        audioOut = avformat_new_stream(raw, nullptr);
        if (!audioOut)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        check(avcodec_parameters_from_context(audioOut->codecpar, encoder.get()), Kind::encode);
        audioOut->time_base = encoder->time_base;
        coverOut = addMetadataAndCover(raw, settings);
        check(avformat_write_header(raw, nullptr), Kind::encode);
        writeCover(raw, coverOut, settings);
    }

    void configureResampler(const AVFrame* frame) {
        AVChannelLayout layout{};
        layoutOf(frame->ch_layout, layout);
        const auto format = AVSampleFormat(frame->format);
        if (resampler && format == resamplerFormat && frame->sample_rate == resamplerRate &&
            av_channel_layout_compare(&layout, &resamplerInput) == 0) {
            av_channel_layout_uninit(&layout);
            return;
        }
        av_channel_layout_uninit(&resamplerInput);
        resamplerInput = layout;
        resamplerFormat = format;
        resamplerRate = frame->sample_rate;
        SwrContext* raw = nullptr;
        check(swr_alloc_set_opts2(&raw, &encoder->ch_layout, encoder->sample_fmt,
                                  encoder->sample_rate, &resamplerInput, format, frame->sample_rate,
                                  0, nullptr),
              Kind::encode);
        resampler.reset(raw);
        const int in = resamplerInput.nb_channels;
        const int out = encoder->ch_layout.nb_channels;
        if (in == 1 && out == 2) {
            // Both speakers at full level: the default mix lowers a mono source by 3 dB.
            const double matrix[2] = {1.0, 1.0};
            check(swr_set_matrix(raw, matrix, 1), Kind::encode);
        } else if (in > out) {
            // Normalise the downmix so that a loud multichannel source cannot clip.
            check(av_opt_set_double(raw, "rematrix_maxval", 1.0, 0), Kind::encode);
        }
        check(swr_init(raw), Kind::encode);
    }

    // Converts the frame's samples (or, with no frame, what the resampler still holds) into
    // the FIFO.
    void resample(const AVFrame* frame) {
        if (!resampler)
            return;
        const int inSamples = frame ? frame->nb_samples : 0;
        const int room = swr_get_out_samples(resampler.get(), inSamples);
        check(room, Kind::encode);
        if (room == 0)
            return;
        converted.reserve(room, encoder->ch_layout.nb_channels, encoder->sample_fmt);
        const int got = swr_convert(
            resampler.get(), converted.data, room,
            frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inSamples);
        check(got, Kind::encode);
        if (got > 0 &&
            av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(converted.data), got) < got)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
    }

    void writePackets() {
        FFmpeg::Packet pkt(av_packet_alloc());
        if (!pkt)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        for (;;) {
            const int rc = avcodec_receive_packet(encoder.get(), pkt.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            check(rc, Kind::encode);
            pkt->stream_index = audioOut->index;
            av_packet_rescale_ts(pkt.get(), encoder->time_base, audioOut->time_base);
            check(av_write_frame(muxer.get(), pkt.get()), Kind::encode);
            av_packet_unref(pkt.get());
        }
    }

    void encodeFrames(bool flush) {
        const bool smallLast = encoder->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        while (av_audio_fifo_size(fifo.get()) >= frameSize ||
               (flush && av_audio_fifo_size(fifo.get()) > 0)) {
            const int available = std::min(av_audio_fifo_size(fifo.get()), frameSize);
            FFmpeg::Frame frame(av_frame_alloc());
            if (!frame)
                throw AudioError(Kind::encode, AVERROR(ENOMEM));
            frame->nb_samples = (available < frameSize && !smallLast) ? frameSize : available;
            frame->format = encoder->sample_fmt;
            frame->sample_rate = encoder->sample_rate;
            check(av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout), Kind::encode);
            check(av_frame_get_buffer(frame.get(), 0), Kind::encode);
            if (frame->nb_samples > available)
                av_samples_set_silence(frame->extended_data, available,
                                       frame->nb_samples - available,
                                       encoder->ch_layout.nb_channels, encoder->sample_fmt);
            if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->extended_data),
                                   available) < available)
                throw AudioError(Kind::encode, AVERROR_BUG);
            frame->pts = samplesWritten;
            samplesWritten += frame->nb_samples;
            audioFrames += available;
            check(avcodec_send_frame(encoder.get(), frame.get()), Kind::encode);
            writePackets();
        }
    }

    void reportTime(const AVFrame* frame) {
        if (!progress)
            return;
        const int64_t ts = frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE)
            return;
        const int64_t start = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
        progress(double(ts - start) * av_q2d(input->time_base));
    }

    void receiveFrames(AVFrame* frame) {
        for (;;) {
            const int rc = avcodec_receive_frame(decoder.get(), frame);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc == AVERROR_INVALIDDATA)
                continue; // a damaged frame is skipped, as players do
            check(rc, Kind::decode);
            configureResampler(frame);
            resample(frame);
            encodeFrames(false);
            reportTime(frame);
            av_frame_unref(frame);
        }
    }

    void streamAudio() {
        FFmpeg::Packet pkt(av_packet_alloc());
        FFmpeg::Frame frame(av_frame_alloc());
        if (!pkt || !frame)
            throw AudioError(Kind::decode, AVERROR(ENOMEM));
        for (;;) {
            if (isCancelled())
                throw CancellationError();
            if (!readPacket(source, pkt.get()))
                break;
            if (pkt->stream_index == input->index) {
                const int sent = avcodec_send_packet(decoder.get(), pkt.get());
                if (sent < 0 && sent != AVERROR_INVALIDDATA)
                    check(sent, Kind::decode);
                receiveFrames(frame.get());
            }
            av_packet_unref(pkt.get());
        }
        check(avcodec_send_packet(decoder.get(), nullptr), Kind::decode);
        receiveFrames(frame.get());
        resample(nullptr);
        encodeFrames(true);
        check(avcodec_send_frame(encoder.get(), nullptr), Kind::encode);
        writePackets();
        check(av_write_trailer(muxer.get()), Kind::encode);
        output.finish();
        av_channel_layout_uninit(&resamplerInput);
    }

public:
    bool outputCreated() const { return created; }
    ~Conversion() { av_channel_layout_uninit(&resamplerInput); }
};

// Copies the compressed packets of the source's audio stream into a new M4A file unchanged.
class Rewrap {
public:
    Rewrap(AudioFile& source, const AudioWriterSettings& settings,
           const AudioConverter::Progress& progress, const AudioFile::CancelCheck& cancelled)
        : source(source)
        , settings(settings)
        , progress(progress)
        , cancelled(cancelled) {}

    void run(const QString& outputPath) {
        if (!source.hasAudio())
            throw AudioError(Kind::noAudio, 0);
        AVFormatContext* ic = source.context();
        const AVStream* input = ic->streams[source.audioStreamIndex()];
        const AVCodecID codec = input->codecpar->codec_id;
        // What an Apple M4A file can carry.
        if (codec != AV_CODEC_ID_AAC && codec != AV_CODEC_ID_ALAC)
            throw AudioError(Kind::unsupported, 0);
        output.open(outputPath);
        created = true;

        AVFormatContext* raw = nullptr;
        check(avformat_alloc_output_context2(&raw, nullptr, "ipod",
                                             QFile::encodeName(outputPath).constData()),
              Kind::encode);
        muxer.reset(raw);
        raw->pb = output.io;
        raw->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
        AVStream* audioOut = avformat_new_stream(raw, nullptr);
        if (!audioOut)
            throw AudioError(Kind::encode, AVERROR(ENOMEM));
        check(avcodec_parameters_copy(audioOut->codecpar, input->codecpar), Kind::encode);
        audioOut->codecpar->codec_tag = 0;
        audioOut->time_base = input->time_base;
        AVStream* coverOut = addMetadataAndCover(raw, settings);
        check(avformat_write_header(raw, nullptr), Kind::encode);
        writeCover(raw, coverOut, settings);

        FFmpeg::Packet pkt(av_packet_alloc());
        if (!pkt)
            throw AudioError(Kind::decode, AVERROR(ENOMEM));
        const int64_t start = input->start_time != AV_NOPTS_VALUE ? input->start_time : 0;
        for (;;) {
            if (cancelled && cancelled())
                throw CancellationError();
            if (!readPacket(source, pkt.get()))
                break;
            if (pkt->stream_index != input->index) {
                av_packet_unref(pkt.get());
                continue;
            }
            const int64_t pts = pkt->pts;
            pkt->stream_index = audioOut->index;
            pkt->pos = -1;
            av_packet_rescale_ts(pkt.get(), input->time_base, audioOut->time_base);
            check(av_write_frame(raw, pkt.get()), Kind::encode);
            av_packet_unref(pkt.get());
            if (progress && pts != AV_NOPTS_VALUE)
                progress(double(pts - start) * av_q2d(input->time_base));
        }
        check(av_write_trailer(raw), Kind::encode);
        output.finish();
    }

    bool outputCreated() const { return created; }

private:
    AudioFile& source;
    const AudioWriterSettings& settings;
    const AudioConverter::Progress& progress;
    const AudioFile::CancelCheck& cancelled;
    OutputFile output;
    std::unique_ptr<AVFormatContext, MuxerDeleter> muxer;
    bool created = false;
};

quint32 be32(const unsigned char* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

} // namespace

namespace AudioConverter {

ConvertedAudio convert(AudioFile& source, const QString& outputPath,
                       const AudioWriterSettings& settings, const Progress& progress,
                       const AudioFile::CancelCheck& isCancelled) {
    source.setCancelCheck(isCancelled);
    Conversion conversion(source, settings, progress, isCancelled);
    try {
        return conversion.run(outputPath);
    } catch (...) {
        if (conversion.outputCreated())
            QFile::remove(outputPath);
        throw;
    }
}

void rewrap(AudioFile& source, const QString& outputPath, const AudioWriterSettings& settings,
            const Progress& progress, const AudioFile::CancelCheck& isCancelled) {
    source.setCancelCheck(isCancelled);
    Rewrap rewrap(source, settings, progress, isCancelled);
    try {
        rewrap.run(outputPath);
    } catch (...) {
        if (rewrap.outputCreated())
            QFile::remove(outputPath);
        throw;
    }
}

std::optional<QPair<int, int>> pictureSize(const QByteArray& bytes) {
    const auto* u = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n >= 24 && bytes.startsWith("\x89PNG\r\n\x1a\n") && bytes.mid(12, 4) == "IHDR") {
        const quint32 w = be32(u + 16), h = be32(u + 20);
        if (w > 0 && h > 0 && w < 0x80000000u && h < 0x80000000u)
            return QPair<int, int>(int(w), int(h));
        return std::nullopt;
    }
    if (n < 4 || u[0] != 0xFF || u[1] != 0xD8)
        return std::nullopt;
    qsizetype pos = 2;
    while (pos + 4 <= n) {
        if (u[pos] != 0xFF)
            return std::nullopt;
        const unsigned marker = u[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const qsizetype length = qsizetype(u[pos + 2]) << 8 | u[pos + 3];
        if (length < 2)
            return std::nullopt;
        const bool sof =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (pos + 9 > n)
                return std::nullopt;
            const int h = u[pos + 5] << 8 | u[pos + 6];
            const int w = u[pos + 7] << 8 | u[pos + 8];
            if (w > 0 && h > 0)
                return QPair<int, int>(w, h);
            return std::nullopt;
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

} // namespace AudioConverter

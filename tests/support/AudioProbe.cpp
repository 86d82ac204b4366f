// The libavformat side of the audio fixtures: suites that use it link FFmpeg.

#include "AudioFixtures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <QFile>

#include <cmath>
#include <memory>

namespace TestSupport {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

double sampleValue(const AVFrame* f, int channel, int i) {
    const auto fmt = AVSampleFormat(f->format);
    const bool planar = av_sample_fmt_is_planar(fmt);
    const int channels = f->ch_layout.nb_channels;
    const uint8_t* base = planar ? f->extended_data[channel] : f->extended_data[0];
    const int index = planar ? i : i * channels + channel;
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8:
        return (base[index] - 128) / 128.0;
    case AV_SAMPLE_FMT_S16:
        return reinterpret_cast<const int16_t*>(base)[index] / 32768.0;
    case AV_SAMPLE_FMT_S32:
        return reinterpret_cast<const int32_t*>(base)[index] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT:
        return reinterpret_cast<const float*>(base)[index];
    case AV_SAMPLE_FMT_DBL:
        return reinterpret_cast<const double*>(base)[index];
    default:
        return 0;
    }
}

// The peak and the length of the decoded audio (what a player plays, with the decoder's own
// trimming of encoder delay and padding).
void decodeAudio(AVFormatContext* ic, int index, ProbedAudio& out) {
    const AVStream* st = ic->streams[index];
    out.peak = -1;
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return;
    std::unique_ptr<AVCodecContext, CodecFree> dec(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(dec.get(), st->codecpar);
    dec->pkt_timebase = st->time_base;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0)
        return;
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    double peak = 0;
    double seconds = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(dec.get(), frame.get()) == 0) {
            if (frame->sample_rate > 0)
                seconds += double(frame->nb_samples) / frame->sample_rate;
            for (int c = 0; c < frame->ch_layout.nb_channels; ++c)
                for (int i = 0; i < frame->nb_samples; ++i)
                    peak = std::max(peak, std::fabs(sampleValue(frame.get(), c, i)));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(ic, pkt.get()) >= 0) {
        if (pkt->stream_index == index && avcodec_send_packet(dec.get(), pkt.get()) >= 0)
            drain();
        av_packet_unref(pkt.get());
    }
    avcodec_send_packet(dec.get(), nullptr);
    drain();
    out.peak = peak;
    out.decodedSeconds = seconds;
}

} // namespace

std::optional<ProbedAudio> probeAudio(const QString& path, bool decode) {
    AVFormatContext* raw = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&raw, name.constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::unique_ptr<AVFormatContext, InputCloser> ic(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return std::nullopt;
    ProbedAudio out;
    out.formatName = QString::fromLatin1(raw->iformat->name);
    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(raw->metadata, "", e, AV_DICT_IGNORE_SUFFIX)))
        out.tags.insert(QString::fromUtf8(e->key), QString::fromUtf8(e->value));
    out.majorBrand = out.tags.value(QStringLiteral("major_brand"));
    out.durationSeconds =
        raw->duration != AV_NOPTS_VALUE ? double(raw->duration) / AV_TIME_BASE : 0;
    out.bitRate = raw->bit_rate;
    int first = -1;
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC) {
            out.hasCover = true;
            out.coverCodec = QString::fromLatin1(avcodec_get_name(st->codecpar->codec_id));
            out.coverData = QByteArray(reinterpret_cast<const char*>(st->attached_pic.data),
                                       st->attached_pic.size);
        } else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++out.audioStreams;
            if (first < 0) {
                first = int(i);
                out.codecName = QString::fromLatin1(avcodec_get_name(st->codecpar->codec_id));
                out.sampleRate = st->codecpar->sample_rate;
                out.channels = st->codecpar->ch_layout.nb_channels;
                if (st->codecpar->bit_rate > 0)
                    out.bitRate = st->codecpar->bit_rate;
            }
        }
    }
    if (decode && first >= 0)
        decodeAudio(raw, first, out);
    return out;
}

} // namespace TestSupport

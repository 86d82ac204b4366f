#include "transfer/M4AExportWriter.h"

#include "platform/Task.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FFmpegHandles.h"
#include "transfer/ExportError.h"
#include "transfer/IPodTransfer.h"

#include <algorithm>
#include <cmath>

namespace IPodTransfer {

namespace {

bool isIntegerPCM(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S24BE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_S32BE:
        return true;
    default:
        return false;
    }
}

int bitsPerChannel(const AVCodecParameters* p) {
    if (p->bits_per_raw_sample > 0)
        return p->bits_per_raw_sample;
    return p->bits_per_coded_sample;
}

bool hasIdentifier(const QList<QPair<QString, QString>>& items, const QString& identifier) {
    return std::any_of(items.cbegin(), items.cend(), [&](const auto& item) {
        return item.first.compare(identifier, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

QList<QPair<QString, QString>> keptITunesItems(const AudioMetadata& metadata) {
    QList<QPair<QString, QString>> kept;
    for (const AudioMetadataItem& item : metadata)
        if (item.keySpace == QLatin1String("itsk") && item.key != QLatin1String("covr"))
            kept.append({item.identifier(), item.value});
    return kept;
}

QString exportLosslessM4A(AudioFile& file, const QString& outputPath, bool losslessConversion,
                          const M4AExportTags& tags, const EmbeddableArtwork& picture,
                          const ShareProgress& progress) {
    const double duration = file.durationSeconds();
    if (!file.hasAudio() || !std::isfinite(duration) || duration <= 0)
        throw ExportError::artwork();
    if (losslessConversion) {
        const AVCodecParameters* p =
            file.context()->streams[file.audioStreamIndex()]->codecpar;
        // Apple Lossless holds integers of at most 24 bits; more would be cut, not kept.
        const int bits = bitsPerChannel(p);
        if (!isIntegerPCM(p->codec_id) || bits < 1 || bits > 24)
            throw ExportError::lossless();
    }

    AudioWriterSettings settings;
    settings.codec = AudioWriterSettings::Codec::alac;
    const AudioMetadata metadata = file.metadata();
    for (const auto& item : keptITunesItems(metadata)) {
        if (tags.writesAlbum && item.first == MetadataIdentifier::iTunesAlbum)
            continue;
        settings.metadata.append(item);
    }
    const AudioMetadata common = file.commonMetadata();
    const QString title =
        metadataString(MetadataIdentifier::commonTitle, common).value_or(tags.track.title);
    const QString artist =
        metadataString(MetadataIdentifier::commonArtist, common).value_or(tags.track.artist);
    const QPair<QString, QString> added[] = {
        {MetadataIdentifier::iTunesSongName, title},
        {MetadataIdentifier::iTunesArtist, artist},
        {MetadataIdentifier::iTunesAlbum, tags.fallbackAlbum},
        {MetadataIdentifier::iTunesAlbumArtist, tags.track.albumArtist},
        {MetadataIdentifier::iTunesUserGenre, tags.track.genre},
        {MetadataIdentifier::iTunesLyrics, readLyrics(file, metadata).value_or(QString())},
    };
    QList<QPair<QString, QString>> newItems;
    for (const auto& item : added)
        if (!item.second.isEmpty() && !hasIdentifier(settings.metadata, item.first))
            newItems.append(item);
    settings.metadata += newItems;
    settings.cover = coverArtMetadataItem(picture.bytes, picture.isJPEG);

    double lastShare = 0;
    const auto onTime = [&](double seconds) {
        const double share = std::clamp(seconds / duration, 0.0, 1.0);
        if (share - lastShare >= 0.02) {
            lastShare = share;
            if (progress)
                progress(share);
        }
    };
    const auto cancelled = [] { return Task::isCancelled(); };
    try {
        if (losslessConversion)
            AudioConverter::convert(file, outputPath, settings, onTime, cancelled);
        else
            AudioConverter::rewrap(file, outputPath, settings, onTime, cancelled);
    } catch (const AudioError& e) {
        if (e.kind() == AudioError::Kind::noAudio || e.kind() == AudioError::Kind::unsupported) {
            if (losslessConversion)
                throw ExportError::lossless();
            throw ExportError::artwork();
        }
        throw;
    }
    return QStringLiteral("m4a");
}

} // namespace IPodTransfer

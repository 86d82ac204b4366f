#include "transfer/AacConversion.h"

#include "platform/Task.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioError.h"
#include "transfer/ImportError.h"
#include "transfer/ImportProgress.h"
#include "transfer/LyricsAndArtwork.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>

namespace IPodTransfer {

ConvertedAudio convertToAAC(AudioFile& file, const QString& outputPath, double durationSeconds,
                            int bitrateKbps, const QList<QPair<QString, QString>>& metadata,
                            const std::optional<QByteArray>& artwork,
                            const FileProgress& progress) {
    AudioWriterSettings settings;
    settings.codec = AudioWriterSettings::Codec::aac;
    for (const auto& pair : metadata)
        if (!pair.second.isEmpty())
            settings.metadata.append(pair);
    if (artwork) {
        const EmbeddableArtwork cover = reencodeArtwork(*artwork);
        settings.cover = coverArtMetadataItem(cover.bytes, cover.isJPEG);
    }
    if (bitrateKbps <= 0 || bitrateKbps > std::numeric_limits<int>::max() / 1000)
        throw ImportError::conversionFailed();
    settings.bitRate = std::int64_t(bitrateKbps) * 1000;

    double lastShare = 0;
    const auto onTime = [&](double seconds) {
        if (!progress || !(durationSeconds > 0))
            return;
        // Container durations are estimates; the bar must not pass the conversion's share.
        const double share = std::clamp(seconds / durationSeconds, 0.0, 1.0);
        if (share - lastShare >= 0.02) {
            lastShare = share;
            progress(ImportStage::convertingAudio, share * 0.75);
        }
    };
    ConvertedAudio written;
    try {
        written = AudioConverter::convert(file, outputPath, settings, onTime,
                                          [] { return Task::isCancelled(); });
    } catch (const AudioError& e) {
        if (e.isSystemError())
            throw;
        if (e.kind() == AudioError::Kind::encode)
            throw ImportError::conversionFailed();
        throw ImportError::unsupportedAudio(); // audio that cannot be read or decoded
    }
    // A damaged or cut source can decode to nothing at all: that is no track.
    if (written.frames <= 0) {
        QFile::remove(outputPath);
        throw ImportError::unsupportedAudio();
    }
    return written;
}

} // namespace IPodTransfer

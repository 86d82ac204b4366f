#include "browser/SelectionStatus.h"

#include "browser/ByteCountFormatter.h"
#include "browser/TrackTableModel.h"

namespace SelectionStatus {

std::optional<QString> text(const QSet<quint64>& selectedTrackIDs,
                            const QList<Track>& displayedTracks,
                            std::optional<quint64> previewTrackID,
                            const std::optional<IPodLibrary>& library, AppLanguage language) {
    auto size = [language](const Track& track) {
        return ByteCountFormatter::format(track.sizeBytes, language);
    };
    if (selectedTrackIDs.size() == 1) {
        for (const Track& track : displayedTracks) {
            if (selectedTrackIDs.contains(track.id))
                return localizedString(LZ("Selected “%1” · %2 (%3)"), language, track.title,
                                       TrackTableModel::formatLabel(track.format), size(track));
        }
    }
    if (selectedTrackIDs.size() <= 1 && previewTrackID && library) {
        for (const Track& track : library->tracks) {
            if (track.id == *previewTrackID)
                return localizedString(LZ("%1 · %2"), language,
                                       TrackTableModel::formatLabel(track.format), size(track));
        }
    }
    if (selectedTrackIDs.size() >= 2)
        return localizedString(LZ("%1 selected"), language,
                               AppLanguages::formattedCount(selectedTrackIDs.size(), language));
    return std::nullopt;
}

} // namespace SelectionStatus

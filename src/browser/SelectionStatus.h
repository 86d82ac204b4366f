#pragma once

// The status line under the library: the one selected track with its format and size, else the
// previewed track's format and size, else how many tracks are selected; nothing otherwise.

#include "device/IPodLibrary.h"
#include "platform/AppLanguage.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace SelectionStatus {

std::optional<QString> text(const QSet<quint64>& selectedTrackIDs,
                            const QList<Track>& displayedTracks,
                            std::optional<quint64> previewTrackID,
                            const std::optional<IPodLibrary>& library, AppLanguage language);

} // namespace SelectionStatus

#pragma once

// The progress of a running transfer as the store publishes it.

#include "platform/AppLanguage.h"

#include <QString>

#include <optional>

struct ImportProgress {
    QString fileName;             // last path component; empty for whole-library steps
    QString stage;                // an English key of ImportStage, localised where it is shown
    std::optional<int> fileIndex; // 1-based; none for whole-library steps
    int fileCount = 0;
    double fraction = 0; // 0 to 1 over the whole batch

    friend bool operator==(const ImportProgress&, const ImportProgress&) = default;
};

namespace ImportStage {
inline const QString skippedIdenticalFile = LZ("Skipped identical file");
inline const QString preparingAudio = LZ("Preparing audio");
inline const QString convertingAudio = LZ("Converting audio");
inline const QString copying = LZ("Copying");
inline const QString savingLibrary = LZ("Saving library");
inline const QString exportingSongs = LZ("Exporting songs");
} // namespace ImportStage

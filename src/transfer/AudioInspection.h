#pragma once

#include "platform/audio/AudioFile.h"
#include "transfer/IPodTransfer.h"
#include "transfer/TransferSettings.h"

#include <QString>

#include <utility>

// Decides whether a file can go onto the iPod as it is or must first become AAC, gathers the
// facts its registration needs, and converts it into temporaryFolder when needed. Returns the
// path of the file to copy (the source, or the converted file) and its facts. Throws
// ImportError::unsupportedAudio for files it cannot read, and the errors of the reads and of the
// conversion as they are.
std::pair<QString, IPodTransfer::Audio> inspectAudio(const QString& source,
                                                     const QString& temporaryFolder,
                                                     const TransferSettings& settings,
                                                     bool supportsArtwork,
                                                     const IPodTransfer::FileProgress& progress);

// Opens a file to import, cancellable with the current task. A file FFmpeg cannot read fails
// with ImportError::unsupportedAudio, also when FFmpeg names its damage with a system error
// number; only a file that cannot itself be read gives the system's error.
AudioFile openImportedAudio(const QString& source);

// True when a file of that kind may be copied unchanged. container is FFmpeg's name of the
// format it found ("mp3", "mov,mp4,m4a,3gp,3g2,mj2", ...).
bool isPassthroughCandidate(const QString& extension, const QString& container,
                            std::uint32_t formatID, int channels, double sampleRate);

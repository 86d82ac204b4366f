#pragma once

#include <QString>
#include <QStringList>

// The audio files below a folder whose lower-cased extension is one of extensions: regular
// files only, hidden files and folders skipped, symbolic links neither followed nor returned,
// sorted by full path the way a file browser sorts (numbers by value, case ignored). Throws
// PosixError for the folder or the first entry that cannot be read (the files found so far are
// dropped), and CancellationError between entries.
QStringList scanAudioFolder(const QString& folder, const QStringList& extensions);

#pragma once

// A private folder for an import's converted and staged files, removed with everything in it
// when the scope that made it ends, however it ends.

#include <QString>

class TemporaryFolder {
public:
    // Makes a new folder (mode 0700) under the system's temporary folder; throws PosixError.
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const QString& path() const { return path_; }

private:
    QString path_;
};

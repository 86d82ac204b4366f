#pragma once

// A private folder (mode 0700) for the short-lived files of one piece of work, removed with
// everything in it when the object goes (links in it are removed, never followed).
//
// It is made in the first of these places that takes a new folder with room for the work: the
// temporary folder (TMPDIR, else /tmp), the session's runtime folder ($XDG_RUNTIME_DIR), and
// Lorvanel's own folder in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache). A temporary
// folder that is missing, read-only or full thus stops nothing that needs only a little room.

#include <QList>
#include <QString>

#include <filesystem>

class ScratchFolder {
public:
    // A place that did not take the folder, and why: its file system had no room left, or
    // nothing could be made or written there (missing, read-only, not ours).
    struct Refusal {
        enum class Reason { full, unwritable };
        QString place;
        Reason reason = Reason::unwritable;
        bool operator==(const Refusal&) const = default;
    };

    // A folder named prefix plus six random characters, in the first place where roomBytes
    // could be written; invalid when no place could.
    ScratchFolder(const QString& prefix, qint64 roomBytes);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool isValid() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    QString pathText() const;
    // The places tried before the one that took the folder (all of them when none did).
    const QList<Refusal>& refusals() const { return refusals_; }

private:
    // Makes the folder in place when it has room there; else notes why not.
    bool makeIn(const QString& place, const QString& prefix, qint64 roomBytes);

    std::filesystem::path path_;
    QList<Refusal> refusals_;
};

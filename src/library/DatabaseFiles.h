#pragma once

// The files an iPod keeps about its library and itself: those in its iTunes folder (and in a
// library folder within it), its Device folder and its Artwork folder. A FIFO, socket or device
// node in place of one of them holds a plain open or read forever, in libgpod as in our own
// code; here nothing but a regular file is ever opened, and a volume that offers anything else
// there is refused before libgpod sees it. This program's own records in the iTunes folder are
// the exception: libgpod never opens them, and their readers never wait on one. So are the
// device descriptions and the ArtworkDB, which are left out of what libgpod reads instead
// (unreadFiles).

#include "library/GpodExtensions.h"
#include "library/IPodDatabaseError.h"
#include "platform/OwnedFd.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <optional>

#include <sys/stat.h>

class DatabaseFiles {
public:
    using Visitor = std::function<void(const QByteArray& path, const struct stat& status)>;

    // Throws the damaged-library error (damaged()) for the first entry of those folders that
    // is special (this program's own records and the files unreadFiles judges aside): links
    // followed, something other than a regular file or a folder. visit, when given, is called
    // for every entry with its path and lstat information, folder by folder in name order;
    // folders in them are not listed (a library folder is entered).
    static void refuseSpecialFiles(const QString& mountPoint, const Visitor& visit = {});
    // Whether any entry of those folders is special.
    static bool hasSpecialFiles(const QString& mountPoint);

    // The files at a mount point that libgpod must not read, and the read-only reason naming
    // the first: a device description (SysInfoExtended, SysInfo) that is not a regular file, is
    // larger than any iPod's or (SysInfoExtended) is not plain; an ArtworkDB that is not a
    // regular file or whose records do not hold together (libgpod aborts on many such).
    // describedOverUSB: a description read from the device stands in for the volume's
    // descriptions, which are then neither read nor judged.
    struct Unread {
        LeftOutFiles files;
        std::optional<IPodDatabaseError> reason;
    };
    static Unread unreadFiles(const QString& mountPoint, bool describedOverUSB);
    // The same for the device descriptions alone.
    static Unread unreadDescriptions(const QString& mountPoint);

    // "Read library" failing on the file at path: the iTunesDB or iTunesCDB named, any other
    // file as the library database.
    static IPodDatabaseError damaged(const QString& path);

    // The file opened for reading when it is a regular file (links followed); an invalid
    // descriptor, with errno set, otherwise. Never waits.
    static OwnedFd openRegular(const QString& path);
    // The same into file (which then has no file name); false when it is not opened.
    static bool open(QFile& file, const QString& path);
    // Up to maxBytes of the file from its start (all of it when negative); none when it is
    // missing, unreadable or not a regular file.
    static std::optional<QByteArray> read(const QString& path, qint64 maxBytes = -1);
};

// Another process saving to an iPod, held inside its save: as an edit and an import of another
// window would, it deletes the library's last track and adds a copy of an audio file, then
// saves, and stops once its save is recorded on the iPod, with an in-flight temporary iTunesDB
// beside the database as libgpod's write has one. It prints "held" and finishes the save when
// its input ends.
//
//     lorvanel_test_save_holder <mount point> <audio file>

#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

LORVANEL_GLIB_SYSTEM_MALLOC

extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0:malloc_context_size=10";
}
extern "C" const char* __lsan_default_options() {
    return "suppressions=" LORVANEL_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const QString mountPoint = QFile::decodeName(argv[1]);
    const QString iTunes = mountPoint + QStringLiteral("/iPod_Control/iTunes/");
    bool held = false;
    try {
        IPodDatabase session(mountPoint, std::nullopt, {}, [&] {
            if (held || !QFileInfo::exists(iTunes + IPodDatabase::saveRecord))
                return;
            held = true;
            QFile database(iTunes + QStringLiteral("iTunesDB"));
            QFile inFlight(iTunes + QStringLiteral("iTunesDB.HELD00"));
            if (!database.open(QIODevice::ReadOnly) || !inFlight.open(QIODevice::WriteOnly) ||
                inFlight.write(database.readAll()) < 0 || !inFlight.flush())
                throw std::runtime_error("cannot write the in-flight database");
            std::puts("held");
            std::fflush(stdout);
            while (std::getchar() != EOF) {
            }
        });
        session.deleteTracks({session.loadTracks().last().id});
        const QString source = QFile::decodeName(argv[2]);
        const QString copy = session.destinationFilename(source);
        session.recordPendingFile(copy);
        if (!QFile::copy(source, copy))
            throw std::runtime_error("cannot copy the audio file");
        session.registerCopiedFiles(copy, QStringLiteral("Held"), {}, {}, {}, {}, 1000, 44100,
                                    128000, false, std::nullopt);
        session.saveLibrary();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return held ? 0 : 1;
}

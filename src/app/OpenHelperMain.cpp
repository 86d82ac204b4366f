// The helper process that reads an iPod's database before the application opens it (see
// library/DatabasePreflight.h), and with --covers the process that decodes its stored covers
// (library/StoredCovers.h).

#include "library/DatabasePreflight.h"
#include "library/StoredCoverDecoding.h"
#include "platform/GLibAllocator.h"

#include <cstring>

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--covers") == 0)
        return StoredCoverDecoding::runProcess(argc, argv);
    return DatabasePreflight::runHelper(argc, argv);
}

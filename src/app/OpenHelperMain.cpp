// The helper process that reads an iPod's database before the application opens it (see
// library/DatabasePreflight.h), and with --covers the process that decodes its stored covers
// (library/StoredCovers.h).

#include "library/DatabasePreflight.h"
#include "library/StoredCoverDecoding.h"
#include "platform/GLibAllocator.h"

#include <cstring>

LORVANEL_GLIB_SYSTEM_MALLOC

#if defined(__SANITIZE_ADDRESS__)
// A sanitizer's report ends the helper with SIGABRT, as a fault does, rather than with an exit
// status the cover client could not tell from an exit of the helper's own.
extern "C" const char* __asan_default_options() {
    return "abort_on_error=1";
}
extern "C" const char* __ubsan_default_options() {
    return "abort_on_error=1";
}
#endif

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--covers") == 0)
        return StoredCoverDecoding::runProcess(argc, argv);
    return DatabasePreflight::runHelper(argc, argv);
}

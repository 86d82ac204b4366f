// The helper process that reads an iPod's database before the application opens it (see
// library/DatabasePreflight.h).

#include "library/DatabasePreflight.h"
#include "platform/GLibAllocator.h"

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    return DatabasePreflight::runHelper(argc, argv);
}

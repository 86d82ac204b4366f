// The helper process that reads an iPod's database before the application opens it (see
// library/DatabasePreflight.h).

#include "library/DatabasePreflight.h"
#include "platform/GLibAllocator.h"

int main(int argc, char** argv) {
    GLibAllocator::useSystemMalloc();
    return DatabasePreflight::runHelper(argc, argv);
}

// A process with the open helper's allocator linked in, for GuardedAllocationsTest (a read
// past a block's end is to end the process, so each such read runs in a process of its own).
//   past-end malloc|g_malloc|new SIZE  reads a block under a Scope, then the byte after its end
//   blocks                             what callers rely on, inside and outside a Scope
//   limited                            allocations beyond an address-space limit
// Prints what failed on standard error and exits 1; exits 0 when all held.

#include "platform/GuardedAllocations.h"

#include <glib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

int failures = 0;

void expect(bool holds, const char* what, int line) {
    if (!holds) {
        std::fprintf(stderr, "line %d: %s\n", line, what);
        ++failures;
    }
}
#define EXPECT(condition) expect((condition), #condition, __LINE__)

const size_t page = size_t(::sysconf(_SC_PAGESIZE));

// The first byte after a block that its guard page covers: blocks keep malloc's 16-byte
// alignment, so a block's end may lie up to 15 bytes before the page.
size_t guardedEnd(size_t size) {
    return (size + 15) & ~size_t(15);
}

unsigned char byteAt(const void* block, size_t offset) {
    return static_cast<const volatile unsigned char*>(block)[offset];
}

void fill(void* block, size_t size, unsigned seed) {
    for (size_t i = 0; i < size; ++i)
        static_cast<unsigned char*>(block)[i] = static_cast<unsigned char>(i * 7 + seed);
}

bool holds(const void* block, size_t size, unsigned seed) {
    for (size_t i = 0; i < size; ++i) {
        if (byteAt(block, i) != static_cast<unsigned char>(i * 7 + seed))
            return false;
    }
    return true;
}

bool allZero(const void* block, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (byteAt(block, i) != 0)
            return false;
    }
    return true;
}

// A value the compiler cannot see through: the probe makes calls it would warn about.
template <typename T> T opaque(T value) {
    asm volatile("" : "+r"(value));
    return value;
}

bool aligned(const void* block, size_t alignment) {
    return reinterpret_cast<uintptr_t>(block) % alignment == 0;
}

// Whether of eight small blocks taken in a row some two lie within a page: plain heap blocks
// do; guarded ones each have mappings of their own.
bool packedSideBySide() {
    void* blocks[8];
    for (void*& block : blocks)
        block = std::malloc(16);
    bool packed = false;
    for (void* a : blocks) {
        for (void* b : blocks) {
            const auto distance = reinterpret_cast<intptr_t>(a) - reinterpret_cast<intptr_t>(b);
            packed = packed || (a != b && std::abs(distance) < intptr_t(page));
        }
    }
    for (void* block : blocks)
        std::free(block);
    return packed;
}

int pastEnd(std::string_view allocator, size_t size) {
    GuardedAllocations::Scope scope;
    void* block = allocator == "g_malloc" ? g_malloc(size)
                  : allocator == "new"    ? ::operator new(size)
                                          : std::malloc(size);
    std::memset(block, 1, size);
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum += byteAt(block, i);
    std::printf("read the block: %u\n", sum);
    std::fflush(stdout);
    sum += byteAt(block, guardedEnd(size));
    std::printf("read past its end: %u\n", sum);
    return 0;
}

void blocksUnderAScope() {
    GuardedAllocations::Scope scope;
    for (const size_t size : {0, 1, 15, 16, 17, 4095, 4096, 30000, 200000}) {
        void* block = std::malloc(size);
        EXPECT(block && aligned(block, 16) && malloc_usable_size(block) >= size);
        fill(block, size, 3);
        EXPECT(holds(block, size, 3));
        std::free(block);
        void* zeros = std::calloc(size, 1);
        EXPECT(zeros && allZero(zeros, size));
        std::free(zeros);
    }
    {
        GuardedAllocations::Scope nested;
        void* block = std::malloc(100);
        EXPECT(block != nullptr);
        std::free(block);
    }
    void* aligned64 = nullptr;
    EXPECT(posix_memalign(&aligned64, 64, 100) == 0 && aligned(aligned64, 64));
    void* pageAligned = valloc(10);
    EXPECT(pageAligned && aligned(pageAligned, page));
    fill(aligned64, 100, 1);
    fill(pageAligned, 10, 1);
    std::free(aligned64);
    std::free(pageAligned);

    // Overflowing counts fail with ENOMEM, leaving the block as it was.
    errno = 0;
    EXPECT(std::calloc(opaque(SIZE_MAX / 2), 3) == nullptr && errno == ENOMEM);
    void* kept = std::malloc(40);
    fill(kept, 40, 5);
    errno = 0;
    EXPECT(reallocarray(opaque(kept), opaque(SIZE_MAX / 2), 3) == nullptr && errno == ENOMEM);
    EXPECT(holds(kept, 40, 5));
    std::free(kept);
    EXPECT(std::realloc(std::malloc(30), 0) == nullptr);
}

// Contents follow a block from plain to guarded and back.
void reallocKeepsContents() {
    auto* block = std::malloc(100);
    fill(block, 100, 7);
    {
        GuardedAllocations::Scope scope;
        block = std::realloc(block, 30000);
        EXPECT(block && holds(block, 100, 7));
        fill(block, 30000, 9);
        block = std::realloc(block, 50);
        EXPECT(block && holds(block, 50, 9));
        block = std::realloc(block, 200000);
        EXPECT(block && holds(block, 50, 9));
        fill(block, 200000, 11);
    }
    block = std::realloc(block, 300000);
    EXPECT(block && holds(block, 200000, 11));
    block = std::realloc(block, 10);
    EXPECT(block && holds(block, 10, 11));
    std::free(block);
    {
        GuardedAllocations::Scope scope;
        block = std::realloc(nullptr, 20);
        EXPECT(block != nullptr);
        fill(block, 20, 2);
    }
    block = reallocarray(block, 10, 10);
    EXPECT(block && holds(block, 20, 2));
    std::free(block);
}

// Blocks taken under a Scope, freed and reallocated on a thread that has none; a Scope on one
// thread leaves another thread's blocks plain.
void otherThreads() {
    void* freed = nullptr;
    void* moved = nullptr;
    {
        GuardedAllocations::Scope scope;
        freed = std::malloc(30000);
        moved = std::malloc(16);
        fill(freed, 30000, 4);
        fill(moved, 16, 6);
        std::thread([] { EXPECT(packedSideBySide()); }).join();
    }
    std::thread([&] {
        EXPECT(holds(freed, 30000, 4));
        std::free(freed);
        moved = std::realloc(moved, 4096);
        EXPECT(moved && holds(moved, 16, 6));
    }).join();
    std::free(moved);
}

// Outside a Scope: glibc's blocks, as before.
void plainBlocks() {
    EXPECT(packedSideBySide());
    void* block = std::malloc(24);
    EXPECT(block && aligned(block, 16) && malloc_usable_size(block) >= 24);
    fill(block, 24, 8);
    block = std::realloc(block, 5000);
    EXPECT(block && holds(block, 24, 8));
    std::free(block);
    EXPECT(malloc_usable_size(nullptr) == 0);
    errno = 0;
    EXPECT(std::calloc(opaque(SIZE_MAX / 2), 3) == nullptr && errno == ENOMEM);
    void* zeros = std::calloc(1000, 8);
    EXPECT(zeros && allZero(zeros, 8000));
    std::free(zeros);
    void* alignedBlock = nullptr;
    EXPECT(posix_memalign(&alignedBlock, 3, 10) == EINVAL && alignedBlock == nullptr);
    EXPECT(posix_memalign(&alignedBlock, 256, 10) == 0 && aligned(alignedBlock, 256));
    std::free(alignedBlock);
    for (void* pageBlock : {memalign(4096, 10), aligned_alloc(64, 128), valloc(1), pvalloc(1)}) {
        EXPECT(pageBlock && aligned(pageBlock, 64));
        std::free(pageBlock);
    }
}

int blocks() {
    blocksUnderAScope();
    reallocKeepsContents();
    otherThreads();
    plainBlocks();
    std::printf("guarded: %s\n", GuardedAllocations::isActive() ? "yes" : "no");
    return failures ? 1 : 0;
}

// As the helper limits itself: what is mapped now, and 16 MiB more.
int limited() {
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        EXPECT(std::fscanf(statm, "%lu", &pages) == 1);
        std::fclose(statm);
    }
    const rlim_t space = rlim_t(pages) * page + (16 << 20);
    const rlimit limit{space, space};
    EXPECT(::setrlimit(RLIMIT_AS, &limit) == 0);

    GuardedAllocations::Scope scope;
    constexpr size_t tooMuch = size_t(64) << 20;
    errno = 0;
    EXPECT(std::malloc(tooMuch) == nullptr && errno == ENOMEM);
    EXPECT(std::calloc(tooMuch, 1) == nullptr);
    void* kept = std::malloc(100);
    fill(kept, 100, 3);
    EXPECT(std::realloc(opaque(kept), tooMuch) == nullptr && holds(kept, 100, 3));
    std::free(kept);

    // Blocks are taken until none is left (small ones too where each has a mapping of its own),
    // and all come back.
    for (const size_t size : {size_t(1) << 20, size_t(16)}) {
        std::vector<void*> taken;
        taken.reserve(8192);
        for (int i = 0; i < 8192; ++i) {
            void* block = std::malloc(size);
            if (!block)
                break;
            fill(block, size, 1);
            taken.push_back(block);
        }
        EXPECT(!taken.empty());
        if (size > 16 || GuardedAllocations::isActive())
            EXPECT(taken.size() < 8192);
        for (void* block : taken)
            std::free(block);
        void* again = std::malloc(size);
        EXPECT(again != nullptr);
        std::free(again);
    }
    return failures ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "past-end" && argc == 4)
        return pastEnd(argv[2], std::strtoul(argv[3], nullptr, 10));
    if (mode == "blocks")
        return blocks();
    if (mode == "limited")
        return limited();
    std::fprintf(stderr, "usage: %s past-end malloc|g_malloc|new SIZE | blocks | limited\n",
                 argv[0]);
    return 2;
}

// The allocator behind GuardedAllocations::Scope, linked into the open helper only. It stands in
// front of glibc's malloc for the whole process (GLib, gdk-pixbuf, libgpod and libstdc++ call it
// through the executable's exported symbols): outside a Scope each call goes straight on to
// glibc; under one, each block gets a mapping of its own whose last page is inaccessible, and
// the block ends right before that page. Its bookkeeping lives in mappings too, never in malloc.
// Sanitizer builds get nothing from this file: the sanitizer owns malloc and catches such reads.

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <dlfcn.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

// glibc's own allocator, under the names it exports for allocators that stand in front of it.
extern "C" {
void* __libc_malloc(size_t) noexcept;
void* __libc_calloc(size_t, size_t) noexcept;
void* __libc_realloc(void*, size_t) noexcept;
void __libc_free(void*) noexcept;
void* __libc_memalign(size_t, size_t) noexcept;
void* __libc_valloc(size_t) noexcept;
void* __libc_pvalloc(size_t) noexcept;
}

namespace {

// malloc's alignment on this platform (max_align_t).
constexpr size_t blockAlignment = 16;

// How many Scopes the calling thread is inside.
constinit thread_local unsigned scopeDepth = 0;

struct Block {
    uintptr_t address; // what the caller got; 0 marks a free slot
    uintptr_t mapping;
    size_t mappingLength;
    size_t size; // as asked for
};

// Every guarded block that lives, in an open-addressed table (linear probing) in a mapping of its
// own. liveBlocks is read without the lock: while it is 0, no pointer can be a guarded block.
std::atomic<size_t> liveBlocks{0};
pthread_mutex_t tableLock = PTHREAD_MUTEX_INITIALIZER;
Block* table = nullptr;
size_t tableCapacity = 0; // a power of two

std::atomic<size_t> cachedPageSize{0};
using UsableSize = size_t (*)(void*);
std::atomic<UsableSize> glibcUsableSize{nullptr};

size_t pageSize() {
    size_t page = cachedPageSize.load(std::memory_order_relaxed);
    if (page == 0) {
        page = size_t(::sysconf(_SC_PAGESIZE));
        cachedPageSize.store(page, std::memory_order_relaxed);
    }
    return page;
}

// glibc exports its malloc_usable_size under that name only: the next definition after ours.
UsableSize plainUsableSize() {
    UsableSize usable = glibcUsableSize.load(std::memory_order_acquire);
    if (!usable) {
        usable = reinterpret_cast<UsableSize>(::dlsym(RTLD_NEXT, "malloc_usable_size"));
        glibcUsableSize.store(usable, std::memory_order_release);
    }
    return usable;
}

[[gnu::constructor]] void resolveGlibc() {
    pageSize();
    plainUsableSize();
}

bool guarding() {
    return scopeDepth != 0;
}

constexpr size_t roundedUp(size_t size, size_t alignment) {
    return (size + alignment - 1) & ~(alignment - 1);
}

size_t slotOf(uintptr_t address, size_t capacity) {
    const uint64_t mixed = uint64_t(address >> 4) * 0x9E3779B97F4A7C15ull;
    return size_t(mixed ^ (mixed >> 29)) & (capacity - 1);
}

void* mapped(size_t length) {
    void* memory =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

void place(Block* slots, size_t capacity, const Block& block) {
    size_t slot = slotOf(block.address, capacity);
    while (slots[slot].address)
        slot = (slot + 1) & (capacity - 1);
    slots[slot] = block;
}

// Under tableLock. Kept at most half full; false when no larger table can be mapped.
bool roomForOneMore() {
    if ((liveBlocks.load(std::memory_order_relaxed) + 1) * 2 <= tableCapacity)
        return true;
    const size_t capacity = tableCapacity ? tableCapacity * 2 : pageSize() * 4 / sizeof(Block);
    auto* slots = static_cast<Block*>(mapped(capacity * sizeof(Block)));
    if (!slots)
        return false;
    for (size_t i = 0; i < tableCapacity; ++i) {
        if (table[i].address)
            place(slots, capacity, table[i]);
    }
    if (table)
        ::munmap(table, tableCapacity * sizeof(Block));
    table = slots;
    tableCapacity = capacity;
    return true;
}

// Under tableLock: the slot holding address, or tableCapacity.
size_t slotHolding(uintptr_t address) {
    if (!tableCapacity)
        return 0;
    for (size_t slot = slotOf(address, tableCapacity);; slot = (slot + 1) & (tableCapacity - 1)) {
        if (table[slot].address == address)
            return slot;
        if (!table[slot].address)
            return tableCapacity;
    }
}

bool remember(const Block& block) {
    ::pthread_mutex_lock(&tableLock);
    const bool room = roomForOneMore();
    if (room) {
        place(table, tableCapacity, block);
        liveBlocks.fetch_add(1, std::memory_order_release);
    }
    ::pthread_mutex_unlock(&tableLock);
    return room;
}

// The guarded block at pointer, if it is one; removed from the table when take is set.
bool findGuarded(const void* pointer, Block& found, bool take) {
    if (liveBlocks.load(std::memory_order_acquire) == 0)
        return false;
    const auto address = reinterpret_cast<uintptr_t>(pointer);
    ::pthread_mutex_lock(&tableLock);
    size_t slot = slotHolding(address);
    const bool guarded = slot < tableCapacity;
    if (guarded) {
        found = table[slot];
        if (take) {
            // Moves back each later entry of the run that may no longer be found past the gap.
            const size_t mask = tableCapacity - 1;
            for (size_t next = (slot + 1) & mask; table[next].address; next = (next + 1) & mask) {
                const size_t home = slotOf(table[next].address, tableCapacity);
                const bool reachable =
                    slot <= next ? (home > slot && home <= next) : (home > slot || home <= next);
                if (!reachable) {
                    table[slot] = table[next];
                    slot = next;
                }
            }
            table[slot].address = 0;
            liveBlocks.fetch_sub(1, std::memory_order_release);
        }
    }
    ::pthread_mutex_unlock(&tableLock);
    return guarded;
}

// A block of size bytes, aligned to alignment (a power of two, at most a page), ending at most
// alignment - 1 bytes before an inaccessible page. Null with ENOMEM when that cannot be mapped.
void* guardedAllocate(size_t size, size_t alignment) {
    const size_t page = pageSize();
    if (size > size_t(PTRDIFF_MAX) - 2 * page) {
        errno = ENOMEM;
        return nullptr;
    }
    const size_t span = roundedUp(size ? size : 1, alignment);
    const size_t dataLength = roundedUp(span, page);
    const size_t length = dataLength + page;
    auto* memory = static_cast<char*>(mapped(length));
    if (!memory) {
        errno = ENOMEM;
        return nullptr;
    }
    char* const block = memory + dataLength - span;
    if (::mprotect(memory + dataLength, page, PROT_NONE) != 0 ||
        !remember({reinterpret_cast<uintptr_t>(block), reinterpret_cast<uintptr_t>(memory), length,
                   size})) {
        ::munmap(memory, length);
        errno = ENOMEM;
        return nullptr;
    }
    return block;
}

void releaseGuarded(const Block& block) {
    const int saved = errno;
    ::munmap(reinterpret_cast<void*>(block.mapping), block.mappingLength);
    errno = saved;
}

size_t usableSize(const Block& block) {
    return block.mapping + block.mappingLength - pageSize() - block.address;
}

// A power of two up to a page, which a guarded block can keep; glibc takes any other.
bool guardableAlignment(size_t alignment) {
    return alignment <= pageSize() && (alignment & (alignment - 1)) == 0;
}

} // namespace

extern "C" {

void lorvanel_guard_allocations(int on) {
    if (on)
        ++scopeDepth;
    else if (scopeDepth)
        --scopeDepth;
}

void* malloc(size_t size) noexcept {
    if (!guarding())
        return __libc_malloc(size);
    return guardedAllocate(size, blockAlignment);
}

void free(void* pointer) noexcept {
    Block block;
    if (pointer && findGuarded(pointer, block, true))
        releaseGuarded(block);
    else
        __libc_free(pointer);
}

void* calloc(size_t count, size_t size) noexcept {
    if (!guarding())
        return __libc_calloc(count, size);
    size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    // A fresh anonymous mapping reads as zeros.
    return guardedAllocate(total, blockAlignment);
}

void* realloc(void* pointer, size_t size) noexcept {
    if (!pointer)
        return malloc(size);
    Block block;
    const bool guarded = findGuarded(pointer, block, false);
    if (!guarded && !guarding())
        return __libc_realloc(pointer, size);
    if (size == 0) {
        // As glibc: the block is freed and nothing is returned.
        free(pointer);
        return nullptr;
    }
    // Moves between a guarded block and a plain one, or to a guarded block that ends where the
    // new size does.
    void* moved = guarding() ? guardedAllocate(size, blockAlignment) : __libc_malloc(size);
    if (!moved)
        return nullptr;
    const size_t kept = guarded ? block.size : plainUsableSize()(pointer);
    std::memcpy(moved, pointer, kept < size ? kept : size);
    free(pointer);
    return moved;
}

void* reallocarray(void* pointer, size_t count, size_t size) noexcept {
    size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(pointer, total);
}

void* memalign(size_t alignment, size_t size) noexcept {
    if (!guarding() || !guardableAlignment(alignment))
        return __libc_memalign(alignment, size);
    return guardedAllocate(size, alignment > blockAlignment ? alignment : blockAlignment);
}

// In glibc 2.36 the same function as memalign.
void* aligned_alloc(size_t alignment, size_t size) noexcept {
    return memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || alignment == 0 ||
        ((alignment / sizeof(void*)) & (alignment / sizeof(void*) - 1)) != 0)
        return EINVAL;
    void* memory = memalign(alignment, size);
    if (!memory)
        return ENOMEM;
    *result = memory;
    return 0;
}

void* valloc(size_t size) noexcept {
    if (!guarding())
        return __libc_valloc(size);
    return guardedAllocate(size, pageSize());
}

void* pvalloc(size_t size) noexcept {
    if (!guarding())
        return __libc_pvalloc(size);
    const size_t page = pageSize();
    if (size > size_t(PTRDIFF_MAX) - page) {
        errno = ENOMEM;
        return nullptr;
    }
    return guardedAllocate(roundedUp(size ? size : 1, page), page);
}

size_t malloc_usable_size(void* pointer) noexcept {
    if (!pointer)
        return 0;
    Block block;
    if (findGuarded(pointer, block, false))
        return usableSize(block);
    return plainUsableSize()(pointer);
}

} // extern "C"

#endif

#pragma once

// Allocations that fault on a read past their end. While a Scope lives on a thread, each block
// that thread takes from malloc, calloc or realloc ends right before an inaccessible page, so a
// library that reads past a buffer it was handed stops at once instead of reading what lies
// beside it. Only the open helper links the allocator that does this; in any other executable,
// and in sanitizer builds (which catch such reads themselves), a Scope does nothing.

namespace GuardedAllocations {

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// Whether blocks taken under a Scope are guarded in this process.
bool isActive();

} // namespace GuardedAllocations

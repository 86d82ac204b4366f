#include "platform/GuardedAllocations.h"

// Defined only by the allocator linked into the open helper; null everywhere else.
extern "C" void lorvanel_guard_allocations(int on) __attribute__((weak));

namespace GuardedAllocations {

Scope::Scope() {
    if (lorvanel_guard_allocations)
        lorvanel_guard_allocations(1);
}

Scope::~Scope() {
    if (lorvanel_guard_allocations)
        lorvanel_guard_allocations(0);
}

bool isActive() {
    return lorvanel_guard_allocations != nullptr;
}

} // namespace GuardedAllocations

#pragma once

#include <cstdlib>

namespace GLibAllocator {

// GLib 2.74's slice allocator scatters the list nodes that libgpod's save walks n² times.
inline void useSystemMalloc() {
    ::setenv("G_SLICE", "always-malloc", 1);
}

} // namespace GLibAllocator

#pragma once

// libgpod leaks a little on its own failure paths (a half-read track, a path it built) and when
// it makes a missing Artwork folder; no caller can release that. Allocations made on this thread
// while an IgnoredLibgpodLeaks lives are not reported by the leak checker, so the scope should
// hold the opening of a damaged database and nothing else.

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace TestSupport {

class IgnoredLibgpodLeaks {
public:
#if defined(__SANITIZE_ADDRESS__)
    IgnoredLibgpodLeaks() {
        __lsan_disable();
    }
    ~IgnoredLibgpodLeaks() {
        __lsan_enable();
    }
#else
    // User-provided, so that a build without the leak checker sees the guard as used.
    IgnoredLibgpodLeaks() {
    }
    ~IgnoredLibgpodLeaks() {
    }
#endif
    IgnoredLibgpodLeaks(const IgnoredLibgpodLeaks&) = delete;
    IgnoredLibgpodLeaks& operator=(const IgnoredLibgpodLeaks&) = delete;
};

} // namespace TestSupport

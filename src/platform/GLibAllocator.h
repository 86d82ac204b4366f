#pragma once

#include <glib.h>

namespace GLibAllocator {

// GLib 2.74's slice allocator scatters the list nodes that libgpod's save walks n² times.
// GLib fixes its allocator in its own library constructor, before main runs, so this runs
// earlier still, from LORVANEL_GLIB_SYSTEM_MALLOC below (hence the loader's signature: a call
// from main would come too late). Newer GLib always uses malloc.
inline void useSystemMalloc(int, char**, char**) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_slice_get_config(G_SLICE_CONFIG_ALWAYS_MALLOC))
        g_slice_set_config(G_SLICE_CONFIG_ALWAYS_MALLOC, TRUE);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

} // namespace GLibAllocator

// Beside main in every executable of ours that calls libgpod: puts useSystemMalloc into the
// executable's pre-initialisation array, which the loader runs before any library's
// constructor (GLib's included).
#define LORVANEL_GLIB_SYSTEM_MALLOC                                                                \
    [[gnu::used, gnu::section(".preinit_array")]] static void (*const lorvanelGLibAllocator)(      \
        int, char**, char**) = &GLibAllocator::useSystemMalloc;

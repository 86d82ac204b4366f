#pragma once

// Owning handles for what libgpod, GLib and libplist hand out.

#include <gpod/itdb.h>
#include <plist/plist.h>

#include <glib.h>

#include <memory>

namespace GLibHandles {

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GCharDeleter {
    void operator()(gchar* text) const { g_free(text); }
};
struct ItdbDeleter {
    void operator()(Itdb_iTunesDB* database) const { itdb_free(database); }
};
struct ItdbDeviceDeleter {
    void operator()(Itdb_Device* device) const { itdb_device_free(device); }
};
struct ItdbPlaylistDeleter {
    void operator()(Itdb_Playlist* playlist) const { itdb_playlist_free(playlist); }
};
struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};

using ErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using CharPtr = std::unique_ptr<gchar, GCharDeleter>;
using DatabasePtr = std::unique_ptr<Itdb_iTunesDB, ItdbDeleter>;
using DevicePtr = std::unique_ptr<Itdb_Device, ItdbDeviceDeleter>;
using PlaylistPtr = std::unique_ptr<Itdb_Playlist, ItdbPlaylistDeleter>;
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

// Collects a GError out-parameter and frees it when the scope ends.
class ErrorSlot {
public:
    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() { clear(); }

    GError** out() {
        clear();
        return &error_;
    }
    GError* get() const { return error_; }
    explicit operator bool() const { return error_ != nullptr; }
    void clear() {
        if (error_)
            g_error_free(error_);
        error_ = nullptr;
    }
    // Forgets the error without freeing it. libgpod can hand back a result together with an
    // error it has already freed; such an error is never touched.
    void abandon() { error_ = nullptr; }

private:
    GError* error_ = nullptr;
};

} // namespace GLibHandles

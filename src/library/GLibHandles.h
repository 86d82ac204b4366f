#pragma once

// Owning handles for what libgpod, GLib, GObject and libplist hand out: the one set the
// whole program uses.

#include <gpod/itdb.h>
#include <plist/plist.h>

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace GLibHandles {

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
// Any GObject (a GdkPixbuf, a loader); the type may be incomplete where it is only held.
struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
// A list that owns only its links, not what they point to.
struct GListDeleter {
    void operator()(GList* list) const { g_list_free(list); }
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
template <typename T> using GMallocPtr = std::unique_ptr<T, GFreeDeleter>;
using CharPtr = GMallocPtr<gchar>;
template <typename T> using ObjectPtr = std::unique_ptr<T, GObjectDeleter>;
using ListPtr = std::unique_ptr<GList, GListDeleter>;
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

// What itdb_parse gave, or none when it also left an error: a database handed back together
// with an error comes from a file libgpod could not read whole, and that error may already be
// freed, so it is let go unread.
inline DatabasePtr completeParse(Itdb_iTunesDB* parsed, ErrorSlot& error) {
    DatabasePtr database(parsed);
    if (database && error) {
        error.abandon();
        database.reset();
    }
    return database;
}

} // namespace GLibHandles

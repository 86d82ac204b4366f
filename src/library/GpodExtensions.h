#pragma once

// Entry points that the packaged libgpod lacks, written over its public interface.
//
// Forcing a device description never touches the device: libgpod is handed a private "shadow"
// mount point whose Device folder holds only the synthetic description and whose other
// iPod_Control entries are links to the real ones. The shadow stays libgpod's mount point for
// the whole session (so artwork is parsed and later saves reach the real files) and is removed
// when the database is freed.

#include "platform/ScratchFolder.h"

#include <gpod/itdb.h>

#include <glib.h>

G_BEGIN_DECLS

// Parses the database at mp as the given model number (e.g. "MA477"), ignoring the device's
// own SysInfo and SysInfoExtended. NULL with error set on failure.
Itdb_iTunesDB* itdb_parse_with_model(const gchar* mp, const gchar* model_number, GError** error);

// Parses the database at mp with the given SysInfoExtended XML as the device description.
Itdb_iTunesDB* itdb_parse_with_sysinfo(const gchar* mp, const gchar* sysinfo_extended_xml,
                                       GError** error);

// Makes the database's device report the given model until the database is freed, without
// writing a SysInfo anywhere on the device. The database must have its mount point set.
// It takes the database rather than the bare device because the session's shadow folder
// belongs to the database. FALSE when the shadow folder cannot be made.
gboolean itdb_device_set_model_for_session(Itdb_iTunesDB* itdb, const gchar* model_number);

// Whether libgpod can write this classic's database with a valid hash: the device has a valid
// FireWire ID and a dry-run write of an empty database for the same model, in a private folder
// of ours (ScratchFolder), yields a hash58-signed header. Nothing on the device is read or
// written beyond libgpod's in-memory device description.
gboolean itdb_verify_hash58(Itdb_iTunesDB* itdb);

G_END_DECLS

// itdb_parse, except that a volume without an Artwork folder (which libgpod's parse would
// create) is parsed through a shadow that mirrors it; the database then points at mp itself.
Itdb_iTunesDB* lorvanel_itdb_parse_without_writing(const gchar* mp, GError** error);

// Files of a volume that libgpod must not read (it waits on some, aborts on others, or reads them
// otherwise than our checks do): a shadow whose folders leave them out stands in for the volume.
struct LeftOutFiles {
    bool description = false; // SysInfoExtended; libgpod then knows the device from SysInfo
    bool sysInfo = false;
    bool artworkDB = false; // libgpod then reads no covers
    bool any() const { return description || sysInfo || artworkDB; }
};

// Puts a link to the volume's own Artwork folder in place of the shadow's folder that left the
// ArtworkDB out, so that a save writes its new ArtworkDB where it belongs: for a session parsed
// leaving out a damaged ArtworkDB beside which no cover is stored. FALSE when the database has no
// such folder or it cannot be replaced.
gboolean lorvanel_itdb_restore_artwork_folder(Itdb_iTunesDB* itdb);

// itdb_parse through such a shadow, which stays the database's mount point.
Itdb_iTunesDB* lorvanel_itdb_parse_leaving_out(const gchar* mp, const LeftOutFiles& left_out,
                                               GError** error);
// itdb_parse_with_model and itdb_parse_with_sysinfo through a shadow that also leaves those
// files out (the device's own descriptions are left out anyway).
Itdb_iTunesDB* lorvanel_itdb_parse_with_model(const gchar* mp, const gchar* model_number,
                                              const LeftOutFiles& left_out, GError** error);
Itdb_iTunesDB* lorvanel_itdb_parse_with_sysinfo(const gchar* mp, const gchar* sysinfo_extended_xml,
                                                const LeftOutFiles& left_out, GError** error);
// itdb_set_mountpoint through such a shadow, kept with the database. FALSE when it cannot be
// made.
gboolean lorvanel_itdb_set_mountpoint_leaving_out(Itdb_iTunesDB* itdb, const gchar* mp,
                                                  const LeftOutFiles& left_out);
// A device known from what such a shadow leaves of mp's descriptions (gone on return, so the
// device is only for asking what it is). NULL when the shadow cannot be made.
Itdb_Device* lorvanel_itdb_device_leaving_out(const gchar* mp, const LeftOutFiles& left_out);

// itdb_verify_hash58, telling a check that could not run for want of anywhere to write its dry
// run from one that failed; for the former, refusals (when given) gets the places tried.
enum class Hash58Check { verified, unverified, nowhereToWrite };
Hash58Check lorvanel_itdb_check_hash58(Itdb_iTunesDB* itdb,
                                       QList<ScratchFolder::Refusal>* refusals = nullptr);

// Where the shadow folder of a forced-model session points, or NULL when the database has no
// shadow. The returned text belongs to the database.
const gchar* lorvanel_itdb_real_mountpoint(Itdb_iTunesDB* itdb);

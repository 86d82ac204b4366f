#pragma once

// Records of the fifth-generation nano's iTunesCDB, exported from libgpod's in-memory objects.
//
// The packaged libgpod has no call that serializes a single record, so each export builds a
// tiny database that holds only the object (and blank stand-ins for what it refers to), lets
// libgpod write it with a blank device into a private temporary folder, and cuts the record out
// of that file. Nothing is written to any iPod and the caller's database is not touched.

#include <gpod/itdb.h>

#include <glib.h>

G_BEGIN_DECLS

// The playlist's complete "mhyp" record (header and children) with its items pointing at the
// members' own track ids. NULL, with *length 0, on failure; free with g_free.
guint8* itdb_export_playlist_record(Itdb_Playlist* playlist, gsize* length);

// The track's "mhit" record: a 584-byte header followed by its string children. The track must
// belong to a database (its dbid assigned). NULL, with *length 0, on failure; free with g_free.
guint8* itdb_nano5_export_track(Itdb_Track* track, gsize* length);

G_END_DECLS

// GStreamer, loaded by Qt Multimedia, drops a buffer that GLib allocated while it was being
// loaded; nothing in this suite calls GLib itself, so GLib's own allocations are not ours here.
// (Suite-wide, not in the shared suppressions, so that other suites still see GLib-held leaks.)

extern "C" const char* __lsan_default_suppressions();
// The shared list (tests/lsan.supp) is repeated: with these defaults in place it is not read.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libglib-2.0.so\n"
           "leak:libgstreamer-1.0\n"
           "leak:libgstbase-1.0\n"
           "leak:libgstaudio-1.0\n"
           "leak:libpulse\n"
           "leak:libdbus-1\n";
}

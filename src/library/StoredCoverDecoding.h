#pragma once

// The cover process's side of StoredCovers: libgpod's decoding of stored covers and the checks
// on what it gives. Linked into the open helper alone, never into the application, which gets
// the covers as checked pixels through StoredCovers.

typedef struct _GdkPixbuf GdkPixbuf;

namespace StoredCoverDecoding {

// Whether the pixels look like noise: a cover decoded from the wrong bytes.
bool isNoisy(const GdkPixbuf* pixbuf);

// Whether a second-generation nano's 100x100 thumbnail is torn while its 42x42 one of the same
// cover is not (the nano damages the large one).
bool isDamagedNano2Thumbnail(const GdkPixbuf* large, const GdkPixbuf* small);

// Lets this process use this many more seconds of CPU before the system ends it: set afresh
// for each cover, so that only a cover that runs too long is ever cut short.
void allowCPUSeconds(int seconds);

// The cover process's whole work; the helper's main() returns this for --covers.
int runProcess(int argc, char** argv);

} // namespace StoredCoverDecoding

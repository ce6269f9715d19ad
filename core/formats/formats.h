// What the file's own format says of a repair. A text-mode transfer damages a file in
// one of two ways: every LF made CR LF (the plain repair undoes it), or a CR added only
// before an LF that had none, which leaves the file's own CR LF pairs standing, so the
// plain repair also takes out CRs the file really held. The format's own lengths and
// checksums tell the two apart, and for the second kind say which pairs' CRs to keep.
//
// Two things per format, each in the format's file in this folder:
//   - a check fed the bytes of a file block by block, as the repair's pass reads and
//     writes them, holding a small fixed state: does every check of the format hold?
//   - a search over the picked file as picked, re-reading only the spans it needs:
//     which CRs of its CR LF pairs did the file hold before the damage?
// Everything here reads untrusted bytes: every length is checked against what is left
// before it is used, and a walker that meets what it does not expect stops.
#ifndef DECRIMP_FORMATS_H
#define DECRIMP_FORMATS_H

#include <cstddef>

#include "flac.h"
#include "format_types.h"
#include "gzip.h"
#include "mp3.h"
#include "ogg.h"
#include "png.h"
#include "zip.h"

// The repair's pass sums (CRC) only a file's first bytes, and past them checks the
// lengths alone, then passes as unsure at best: on a large file the count of pairs
// tells the kind, and the lengths that no byte was taken out, while summing every byte
// would cost the pass a third of its speed. Where the count cannot tell, the search
// reads the file again and sums it.
const unsigned long long SummedBytes = 4ULL << 20;

enum FileFormat { FormatUnknown, FormatPng, FormatOgg, FormatFlac, FormatZip, FormatGzip, FormatMp3 };

// Known by the first bytes of the file as picked (never by its name), damaged either
// way or not at all: a PNG's signature holds a CR LF pair of its own, for instance.
// n may be short (a small file); FormatUnknown when nothing fits.
FileFormat FormatOfFirstBytes(const unsigned char* bytes, size_t n);
const char* FormatName(FileFormat format);

struct FormatCheck {
    FileFormat format;
    bool over;                 // verdict decided before the end: nothing more is looked at
    CheckVerdict verdict;      // once over
    unsigned long long fed;    // bytes fed so far
    union {
        PngCheck png;
        OggCheck ogg;
        FlacCheck flac;
        ZipCheck zip;
        GzipCheck gzip;
        Mp3Check mp3;
    } state;
};

void StartFormatCheck(FormatCheck* check, FileFormat format);
// The file's next n bytes. Costs next to nothing once the verdict is known.
void CheckFormatBytes(FormatCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishFormatCheck(FormatCheck* check);

SearchVerdict SearchKeptPairs(FileFormat format, const PickedBytes* picked, KeptPairs* kept);

#endif

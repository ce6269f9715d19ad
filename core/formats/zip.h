// ZIP: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in zip.cpp.
#ifndef DECRIMP_ZIP_H
#define DECRIMP_ZIP_H

#include <cstddef>

#include "format_types.h"

// The walker's state between blocks: fixed size, no pointers into a block. The local
// entries and the directory's entries are each summed into one fingerprint, so every
// entry of the directory is matched to its local header without holding either list.
struct ZipCheck {
    unsigned phase;
    unsigned char record[46];          // the record being gathered, its signature first
    size_t have;
    size_t want;                       // its fixed size
    unsigned long long at;             // offset of the next byte fed
    unsigned long long skip;           // bytes to pass: names, extras, deflated data, comment
    bool crcData;                      // the data passed is a stored entry's: its CRC-32 is taken
    bool sizesAfter;                   // the data's sizes stand in a descriptor after it (flag bit 3)
    unsigned long long dataStart;      // where such data starts
    unsigned char carry[15];           // its last bytes, where a descriptor may start
    size_t carried;
    bool descriptorMissed;             // a descriptor's signature stood where its length did not fit
    unsigned long long entryOffset;    // the local header's, for the fingerprint once the sizes are known
    unsigned entryKind;                // its method and name length, likewise
    unsigned long crc, wantCrc;
    unsigned long long localSum, centralSum;
    unsigned long long locals, centrals;
    unsigned long long centralStart;   // where the directory's first entry stands
    bool centralSeen;
    bool unsure;                       // ZIP64, several disks, a descriptor never found: not followed
};

void StartZipCheck(ZipCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckZipBytes(ZipCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishZipCheck(ZipCheck* check);

SearchVerdict SearchZipKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif

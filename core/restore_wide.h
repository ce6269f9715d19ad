// The wide paths of the repair (restore_x86.cpp), for restore.cpp only. Each scans
// from *next in whole chunks while the byte after the chunk is still in the block,
// puts the repaired bytes at out, sets *next to the first byte it left for the byte
// loop and returns the number of bytes put. A chunk never ends in a CR that needs
// the next block. Each path also checks every byte from *next + 1 to the new *next
// for an LF with no CR before it, and sets *loneLineFeed when it meets one. It adds to
// *crPairs the pairs whose CR follows a CR; crBefore tells whether the byte before
// *next is a CR.
// Call a path only after its CPU check said yes.
#ifndef DECRIMP_RESTORE_WIDE_H
#define DECRIMP_RESTORE_WIDE_H

#include <cstddef>

bool CpuHasSse2();
bool CpuHasAvx2();

struct WideCounts {
    bool loneLineFeed;
    bool crBefore;
    unsigned long long crPairs;
};
size_t RestoreChunksSse2(const unsigned char* in, size_t n, unsigned char* out, size_t* next, WideCounts* counts);
size_t RestoreChunksAvx2(const unsigned char* in, size_t n, unsigned char* out, size_t* next, WideCounts* counts);

#endif

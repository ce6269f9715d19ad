// The repair itself: a block at a time, and a whole stream from one file to another.
#ifndef DECRIMP_RESTORE_H
#define DECRIMP_RESTORE_H

#include <cstddef>
#include <cstdio>

// Size of the blocks a file is read and written in.
const size_t ConvertBlockSize = 1 << 20;

// Converts one block. crHeld carries a CR that ended the previous block and waits
// for the next byte to decide; start a file with it false and flush it at the end.
// out must have room for n + 1 bytes; it may also be in - 1, which repairs the
// block where it lies (the byte before it takes a held CR). Returns the number of
// bytes put in out.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, bool* crHeld);

// The ways through a block, widest last. The widest the CPU has is used; tests and
// the benchmark may hold the repair to a narrower one to compare them.
enum RestoreWidth { RestoreBytes, RestoreSse2, RestoreAvx2 };
RestoreWidth WidestRestoreWidth();
// Returns the width in force afterwards: never wider than the CPU has.
RestoreWidth LimitRestoreWidth(RestoreWidth widest);
RestoreWidth RestoreWidthInForce();
const char* RestoreWidthName(RestoreWidth width);

// CopyDiffers: a file that was compared holds something other than the repair.
enum CopyResult { CopyDone, CopyReadFailed, CopyWriteFailed, CopyDiffers };

// Streams input to output, repaired, block by block; memory does not grow with the file.
CopyResult CopyRestoring(FILE* input, FILE* output);

// Reads input and copy side by side: CopyDone when copy holds exactly the repair of
// input. A failed read of copy counts as CopyWriteFailed: the copy cannot be trusted.
CopyResult MatchRestoring(FILE* input, FILE* copy);

#endif

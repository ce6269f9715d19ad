// The repair itself: a block at a time, and a whole stream from one file to another.
#ifndef DECRIMP_RESTORE_H
#define DECRIMP_RESTORE_H

#include <cstddef>
#include <cstdio>

// Size of the blocks a file is read and written in.
const size_t ConvertBlockSize = 1 << 20;

// Converts one block. crHeld carries a CR that ended the previous block and waits
// for the next byte to decide; start a file with it false and flush it at the end.
// out must have room for n + 1 bytes. Returns the number of bytes put in out.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, bool* crHeld);

// CopyDiffers: a file that was compared holds something other than the repair.
enum CopyResult { CopyDone, CopyReadFailed, CopyWriteFailed, CopyDiffers };

// Streams input to output, repaired, block by block; memory does not grow with the file.
CopyResult CopyRestoring(FILE* input, FILE* output);

// Reads input and copy side by side: CopyDone when copy holds exactly the repair of
// input. A failed read of copy counts as CopyWriteFailed: the copy cannot be trusted.
CopyResult MatchRestoring(FILE* input, FILE* copy);

#endif

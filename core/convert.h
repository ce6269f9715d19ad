// Repairs one picked file: every CR that stands right before an LF is left out.
#ifndef DECRIMP_CONVERT_H
#define DECRIMP_CONVERT_H

#include <cstddef>

#include "platform.h"

extern const char OutputPrefix[];  // "Copy of "

// Size of the blocks a file is read and written in.
const size_t ConvertBlockSize = 1 << 20;

// Converts one block. crHeld carries a CR that ended the previous block and waits
// for the next byte to decide; start a file with it false and flush it at the end.
// out must have room for n + 1 bytes. Returns the number of bytes put in out.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, bool* crHeld);

// Fills outputName (NameBufferSize characters) with "Copy of " + name; false when
// that does not fit, and outputName is then unterminated.
bool BuildOutputName(char* outputName, const char* name);

// workPath holds the directory prefix of NameOffset characters; name is the bare
// file name. On return workPath holds the path to name in the completion message.
void ConvertFile(char* workPath, const char* name, OwnerWindow owner);

#endif

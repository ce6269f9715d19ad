// Repairs one picked file: every CR that stands right before an LF is left out.
#ifndef DECRIMP_CONVERT_H
#define DECRIMP_CONVERT_H

#include <cstddef>

#include "platform.h"
#include "restore.h"

extern const char OutputPrefix[];  // "Copy of "
// The copy has a name of its own in its folder until it is whole: this stem + ".tmp",
// numbered past any file of that name there (see PutOwnNameBeside).
extern const char UnfinishedCopyStem[];  // "~Decrimp 95 unfinished copy"

// Fills outputName (NameBufferSize characters) with "Copy of " + name, the prefix
// put after any folder the name carries; false when that does not fit, and
// outputName is then unterminated.
bool BuildOutputName(char* outputName, const char* name);

// workPath holds the directory prefix of NameOffset characters; name is the bare
// file name. On return workPath holds the path to name in the completion message.
// True when the file came out repaired (or needed nothing); false after a box told
// the user why not.
bool ConvertFile(char* workPath, const char* name, OwnerWindow owner);

#endif

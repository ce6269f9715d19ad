// The exact repair of a file damaged the second way: every pair's CR left out but
// those the file's own checks keep.
#ifndef DECRIMP_RESTORE_KEPT_H
#define DECRIMP_RESTORE_KEPT_H

#include <cstdio>

#include "formats.h"
#include "restore.h"

// Reads input from its start and writes output from its start, the CRs at the offsets
// of kept (in input) kept; output must hold no more bytes than the repair, as the plain
// repair that came before. The format's checks are made again on what is written: any
// that fails gives CopyUndecided, and no wrong bytes are called a repair.
CopyResult CopyKeepingPairs(FILE* input, FILE* output, const KeptPairs& kept, FileFormat format);
// The same, reading copy instead of writing it: CopyDone when it holds exactly that repair
// (an earlier run's), CopyDiffers when it holds anything else.
CopyResult MatchKeepingPairs(FILE* input, FILE* copy, const KeptPairs& kept, FileFormat format);

#endif

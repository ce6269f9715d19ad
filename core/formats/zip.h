// ZIP: the check of a whole file block by block, and the search for the CRs that a
// file damaged the second way held (see formats.h). The checks made stand in zip.cpp.
#ifndef DECRIMP_ZIP_H
#define DECRIMP_ZIP_H

#include <cstddef>

#include "format_types.h"

struct ZipCheck {
    unsigned placeholder;  // the walker's state between blocks: fixed size, no pointers into a block
};

void StartZipCheck(ZipCheck* check);
// The next n bytes of the file; false once a check failed (nothing more need be fed).
bool CheckZipBytes(ZipCheck* check, const unsigned char* bytes, size_t n);
CheckVerdict FinishZipCheck(ZipCheck* check);

SearchVerdict SearchZipKeptPairs(const PickedBytes* picked, KeptPairs* kept);

#endif

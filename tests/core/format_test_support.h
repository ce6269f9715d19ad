// What the format walkers' tests share.
#ifndef DECRIMP_FORMAT_TEST_SUPPORT_H
#define DECRIMP_FORMAT_TEST_SUPPORT_H

#include "formats.h"
#include "test_support.h"

enum Damage { Undamaged, EveryLineFeed, LoneLineFeeds };
Bytes Damaged(const Bytes& original, Damage damage);
// The check fed in blocks of one size; every size must give the same verdict.
CheckVerdict CheckInBlocks(FileFormat format, const Bytes& bytes, size_t block);
void ExpectCheck(FileFormat format, const Bytes& bytes, CheckVerdict expected, const char* what);
// The picked file with the CR of every pair dropped but those kept.
Bytes RepairKeeping(const Bytes& picked, const KeptPairs& kept);
// The search over picked, through a temporary file.
SearchVerdict Search(FileFormat format, const Bytes& picked, KeptPairs* kept);
// A PNG of about size bytes: 8 KiB chunks of noise, a CR LF of their own here and
// there, and their CRCs. Its data is not a zlib stream: the walker never inflates it.
Bytes PngOfNoise(size_t size);
// Ogg pages of noise, each with a CR LF or so of its own, and their CRCs.
Bytes OggOfNoise(size_t size);

#endif

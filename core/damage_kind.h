// Which kind of text-mode damage a file took, told from what the repair's own pass saw.
//   every LF made CR LF        -> the plain repair (every pair's CR left out) is exact
//   a CR put only before an LF
//   that had none              -> the file's own pairs must keep their CRs: only its
//                                 format's checks can say which, else nothing is written
// Evidence of the second kind must be positive: a format check that fails may be a file
// broken before it was damaged, which keeps the plain repair.
#ifndef DECRIMP_DAMAGE_KIND_H
#define DECRIMP_DAMAGE_KIND_H

#include <cstddef>

#include "formats.h"
#include "restore.h"

struct DamageEvidence {
    bool started;                      // the first block chose the format
    FileFormat format;
    FormatCheck picked;                // the format's checks on the file as picked
    FormatCheck repaired;              // and on its plain repair
    unsigned long long read;           // bytes of the file as picked
    unsigned long long sampled[256];   // byte values of a sample of every block
    unsigned long long sampledBytes;
    unsigned long long pairs;          // CR LF pairs
    unsigned long long crPairs;        // of them CR CR LF
};

void StartEvidence(DamageEvidence* evidence);
// Each block as read, before it is repaired; then the same block repaired.
void NotePickedBlock(DamageEvidence* evidence, const unsigned char* bytes, size_t n);
void NoteRepairedBlock(DamageEvidence* evidence, const unsigned char* bytes, size_t n);
void FinishEvidence(DamageEvidence* evidence, const RestoreState& state);

// In bytes that look random (compressed audio, pictures, archives) one LF in 256 follows
// a CR. After every LF was made CR LF, about one pair in 256 is CR CR LF; after a CR was
// put only before lone LFs, almost none is. Too few LFs, or bytes that do not look
// random (text), and the count cannot tell.
enum CountVerdict { CountCannotTell, CountSaysFirstKind, CountSaysSecondKind };
const double RandomLookingBits = 7.5;          // entropy per byte, at least
const unsigned long long CountedLineFeeds = 1800;  // pairs, at least
CountVerdict CountOfPairs(const DamageEvidence& evidence);
double SampledEntropy(const DamageEvidence& evidence);

// RepairPlain: leave out every pair's CR (the first kind, or nothing says otherwise).
// RepairKeepingPairs: the second kind, and kept holds the CRs the file's checks keep.
// RepairNotDamaged: the file passes its own checks as it was picked.
// RepairUndecided: the second kind, and nothing decides which CRs were the file's own.
enum RepairVerdict { RepairPlain, RepairKeepingPairs, RepairNotDamaged, RepairUndecided };
// May read the picked file again, span by span, for the search.
RepairVerdict DecideRepair(DamageEvidence* evidence, const PickedBytes* picked, KeptPairs* kept);

#endif

// Tells whether a file already holds the repair of another, without writing anything:
// an earlier run's "Copy of " file is taken as it is, anyone else's is left alone.
#include <cstring>

#include "damage_kind.h"
#include "restore.h"

// Static for the same reason as the copy's block: memory stays flat whatever the size.
// The picked file's block is repaired where it lies, as the copy does it.
static unsigned char PickedBlock[ConvertBlockSize + 1];
static unsigned char FoundBlock[ConvertBlockSize + 1];

// Reads exactly count bytes of copy, or fewer only at its end.
static bool ReadFound(FILE* copy, size_t count, size_t* got) {
    *got = std::fread(FoundBlock, 1, count, copy);
    return *got == count || !std::ferror(copy);
}

static CopyResult MatchBytes(FILE* copy, const unsigned char* expected, size_t count) {
    size_t got = 0;
    if (!ReadFound(copy, count, &got)) return CopyWriteFailed;
    return got == count && std::memcmp(FoundBlock, expected, count) == 0 ? CopyDone : CopyDiffers;
}

// Reads the whole input even once the copy differs: what the pass tells of the damage
// decides whether the copy may still hold the exact repair of a file damaged the second way.
CopyResult MatchRestoring(FILE* input, FILE* copy, bool* changed, DamageEvidence* evidence) {
    RestoreState state = {};
    StartEvidence(evidence);
    CopyResult result = CopyDone;
    for (;;) {
        const size_t got = std::fread(PickedBlock + 1, 1, ConvertBlockSize, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        NotePickedBlock(evidence, PickedBlock + 1, got);
        const size_t kept = RestoreLineEnds(PickedBlock + 1, got, PickedBlock, &state);
        if (state.loneLineFeed) return CopyNotDamaged;
        NoteRepairedBlock(evidence, PickedBlock, kept);
        if (result == CopyDone) result = MatchBytes(copy, PickedBlock, kept);
        if (result == CopyWriteFailed) return result;
    }
    const unsigned char lastCr = '\r';
    if (state.crHeld) {
        NoteRepairedBlock(evidence, &lastCr, 1);
        if (result == CopyDone) result = MatchBytes(copy, &lastCr, 1);
    }
    size_t extra = 0;  // the copy must end where the repair ends
    if (result == CopyDone && !ReadFound(copy, 1, &extra)) return CopyWriteFailed;
    if (result == CopyDone && extra != 0) result = CopyDiffers;
    FinishEvidence(evidence, state);
    *changed = state.pairRemoved;
    return result;
}

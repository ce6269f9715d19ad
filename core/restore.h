// The repair itself: a block at a time, and a whole stream from one file to another.
#ifndef DECRIMP_RESTORE_H
#define DECRIMP_RESTORE_H

#include <cstddef>
#include <cstdio>

// Size of the blocks a file is read and written in.
const size_t ConvertBlockSize = 1 << 20;

// What the repair carries from one block of a file to the next; a file starts with
// both false. The damage turns every LF into CR LF, so a file that holds an LF with
// no CR right before it (an LF as its first byte counts) was never damaged this way,
// or was repaired already: repairing it would destroy CR LF pairs it really holds.
// The pass also counts what tells the two kinds of damage apart (see damage_kind.h): the
// pairs, and the pairs with a CR before them (CR CR LF), which every LF made CR LF leaves
// at every CR LF the file held, and a CR put only before a lone LF leaves almost nowhere.
struct RestoreState {
    bool crHeld;        // the last block ended in a CR: the next byte decides; flush it at the end
    bool crBeforeHeld;  // and the byte before that CR was a CR too
    bool loneLineFeed;  // such an LF was met: the file must not be repaired
    bool pairRemoved;   // the CR of a CR LF pair was left out: the repair differs from the file
    unsigned long long pairs;    // CR LF pairs met
    unsigned long long crPairs;  // of them, those whose CR follows a CR
};

// Converts one block. out must have room for n + 1 bytes; it may also be in - 1,
// which repairs the block where it lies (the byte before it takes a held CR).
// Returns the number of bytes put in out.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, RestoreState* state);

// The ways through a block, widest last. The widest the CPU has is used; tests and
// the benchmark may hold the repair to a narrower one to compare them.
enum RestoreWidth { RestoreBytes, RestoreSse2, RestoreAvx2 };
RestoreWidth WidestRestoreWidth();
// Returns the width in force afterwards: never wider than the CPU has.
RestoreWidth LimitRestoreWidth(RestoreWidth widest);
RestoreWidth RestoreWidthInForce();
const char* RestoreWidthName(RestoreWidth width);

// CopyDiffers: a file that was compared holds something other than the repair.
// CopyNotDamaged: input holds a lone LF; nothing more was read or written.
// CopyPickedChanged: another program changed the input while it was read.
// CopyUndecided: the input took the second kind of damage (see damage_kind.h), and
// nothing decides which of its CRs were its own: no repair can be trusted.
enum CopyResult {
    CopyDone, CopyReadFailed, CopyWriteFailed, CopyDiffers, CopyNotDamaged, CopyPickedChanged, CopyUndecided
};

struct DamageEvidence;

// Streams input to output, repaired, block by block; memory does not grow with the file.
// *changed tells whether the repair left out any CR (false: output equals input).
// evidence gathers, in the same pass, what tells the kinds of damage apart.
CopyResult CopyRestoring(FILE* input, FILE* output, bool* changed, DamageEvidence* evidence);

// Reads input and copy side by side: CopyDone when copy holds exactly the repair of
// input. A failed read of copy counts as CopyWriteFailed: the copy cannot be trusted.
CopyResult MatchRestoring(FILE* input, FILE* copy, bool* changed, DamageEvidence* evidence);

#endif

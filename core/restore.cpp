// Repairs one file whose every LF was expanded to CR LF. The mapping, input to output:
//   CR LF                          -> LF   (the CR is left out)
//   CR before any other byte, or
//   CR as the file's last byte     -> CR
//   every other byte               -> itself
// Only the input decides: a CR is judged by the input byte after it, never by the output.
// An LF with no CR before it is copied too, but marks the file as not damaged this way.
#include "restore.h"

#include <cstring>

#include "damage_kind.h"
#include "platform.h"
#include "restore_wide.h"

// Static rather than on the stack or heap: memory stays the same whatever the file
// size. One block, repaired where it lies; the byte before the input is for a held CR.
static unsigned char Block[ConvertBlockSize + 1];

static bool WidthChosen = false;
static RestoreWidth WidthInForce = RestoreBytes;

RestoreWidth WidestRestoreWidth() {
    if (!SystemSavesVectorState()) return RestoreBytes;
    if (CpuHasAvx2()) return RestoreAvx2;
    if (CpuHasSse2()) return RestoreSse2;
    return RestoreBytes;
}

RestoreWidth LimitRestoreWidth(RestoreWidth widest) {
    const RestoreWidth cpu = WidestRestoreWidth();
    WidthInForce = widest < cpu ? widest : cpu;
    WidthChosen = true;
    return WidthInForce;
}

RestoreWidth RestoreWidthInForce() {
    if (!WidthChosen) LimitRestoreWidth(RestoreAvx2);
    return WidthInForce;
}

const char* RestoreWidthName(RestoreWidth width) {
    switch (width) {
        case RestoreAvx2: return "AVX2";
        case RestoreSse2: return "SSE2";
        case RestoreBytes: break;
    }
    return "bytes";
}

static size_t RestoreChunks(const unsigned char* in, size_t n, unsigned char* out, size_t* next,
                            WideCounts* counts) {
    switch (RestoreWidthInForce()) {
        case RestoreAvx2: return RestoreChunksAvx2(in, n, out, next, counts);
        case RestoreSse2: return RestoreChunksSse2(in, n, out, next, counts);
        case RestoreBytes: break;
    }
    return 0;
}

// memmove, not memcpy: the output may trail the input in the same block. Every byte
// the loop starts a stretch at is known not to be a lone LF: the first byte is
// judged by the held CR, a wide path judges the byte it stops at, and any other
// stretch starts right after a CR; an LF inside a stretch has no CR before it.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, RestoreState* state) {
    size_t written = 0;
    size_t next = 0;
    if (n == 0) return 0;
    const bool heldBefore = state->crHeld;
    if (state->crHeld) {
        if (in[0] != '\n')
            out[written++] = '\r';
        else if (state->crBeforeHeld)
            ++state->crPairs;
        state->crHeld = false;
    } else if (in[0] == '\n') {
        state->loneLineFeed = true;
    }
    WideCounts counts = {state->loneLineFeed, heldBefore, state->crPairs};
    written += RestoreChunks(in, n, out + written, &next, &counts);
    state->loneLineFeed = counts.loneLineFeed;
    state->crPairs = counts.crPairs;
    while (next < n) {
        const void* found = std::memchr(in + next, '\r', n - next);
        const size_t cr = found ? static_cast<size_t>(static_cast<const unsigned char*>(found) - in) : n;
        if (cr > next + 1 && std::memchr(in + next + 1, '\n', cr - next - 1)) state->loneLineFeed = true;
        std::memmove(out + written, in + next, cr - next);
        written += cr - next;
        if (cr == n) break;
        const bool crBefore = cr > 0 ? in[cr - 1] == '\r' : heldBefore;
        if (cr + 1 == n) {
            state->crHeld = true;  // the next block decides
            state->crBeforeHeld = crBefore;
            break;
        }
        if (in[cr + 1] != '\n')
            out[written++] = '\r';
        else if (crBefore)
            ++state->crPairs;
        next = cr + 1;
    }
    // Every byte comes out, a held CR included, but the CR of each pair.
    const size_t pairs = n + heldBefore - written - state->crHeld;
    state->pairs += pairs;
    if (pairs != 0) state->pairRemoved = true;
    return written;
}

static bool WriteAll(FILE* output, const unsigned char* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, output) == count;
}

// Stops at the first block that shows the file was never damaged: the rest of it
// cannot make it one to repair.
CopyResult CopyRestoring(FILE* input, FILE* output, bool* changed, DamageEvidence* evidence) {
    RestoreState state = {};
    StartEvidence(evidence);
    for (;;) {
        const size_t got = std::fread(Block + 1, 1, ConvertBlockSize, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        NotePickedBlock(evidence, Block + 1, got);
        const size_t kept = RestoreLineEnds(Block + 1, got, Block, &state);
        if (state.loneLineFeed) return CopyNotDamaged;
        NoteRepairedBlock(evidence, Block, kept);
        if (!WriteAll(output, Block, kept)) return CopyWriteFailed;
    }
    const unsigned char lastCr = '\r';
    if (state.crHeld) {
        NoteRepairedBlock(evidence, &lastCr, 1);
        if (!WriteAll(output, &lastCr, 1)) return CopyWriteFailed;
    }
    FinishEvidence(evidence, state);
    *changed = state.pairRemoved;
    return CopyDone;
}

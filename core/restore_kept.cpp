// The repair again, from the picked file, keeping the CRs a search found the file held.
// Rare, so it goes a byte at a time; memory stays one block whatever the size.
#include "restore_kept.h"

#include <cstring>

static unsigned char KeptIn[ConvertBlockSize];
static unsigned char KeptOut[ConvertBlockSize + 1];
static FormatCheck Recheck;

// What carries from one block to the next: a CR the next byte decides, and whether it
// is one the file held.
struct KeptState {
    unsigned long long offset;  // of the next byte read
    size_t nextKept;            // index into kept of the next CR to keep
    bool crHeld;
    bool heldIsKept;
};

static bool IsKept(const KeptPairs& kept, KeptState* state, unsigned long long at) {
    while (state->nextKept < kept.count && kept.at[state->nextKept] < at) ++state->nextKept;
    return state->nextKept < kept.count && kept.at[state->nextKept] == at;
}

static size_t KeepBlock(const unsigned char* in, size_t n, const KeptPairs& kept, KeptState* state) {
    size_t written = 0;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char byte = in[i];
        if (state->crHeld) {
            state->crHeld = false;
            if (byte != '\n' || state->heldIsKept) KeptOut[written++] = '\r';
        }
        if (byte == '\r') {
            state->crHeld = true;
            state->heldIsKept = IsKept(kept, state, state->offset + i);
        } else {
            KeptOut[written++] = byte;
        }
    }
    state->offset += n;
    return written;
}

static unsigned char Found[ConvertBlockSize + 1];

// Writes the bytes, or, with compare set, tells whether the file holds them there.
static CopyResult PutChecked(FILE* file, const unsigned char* bytes, size_t n, bool compare) {
    CheckFormatBytes(&Recheck, bytes, n);
    if (!compare) return std::fwrite(bytes, 1, n, file) == n ? CopyDone : CopyWriteFailed;
    const size_t got = std::fread(Found, 1, n, file);
    if (got != n && std::ferror(file)) return CopyWriteFailed;
    return got == n && std::memcmp(Found, bytes, n) == 0 ? CopyDone : CopyDiffers;
}

static CopyResult KeepingPairs(FILE* input, FILE* file, const KeptPairs& kept, FileFormat format, bool compare) {
    if (std::fseek(input, 0, SEEK_SET) != 0) return CopyReadFailed;
    if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0) return CopyWriteFailed;
    StartFormatCheck(&Recheck, format);
    KeptState state = {};
    for (;;) {
        const size_t got = std::fread(KeptIn, 1, sizeof KeptIn, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        const CopyResult block = PutChecked(file, KeptOut, KeepBlock(KeptIn, got, kept, &state), compare);
        if (block != CopyDone) return block;
    }
    const unsigned char lastCr = '\r';
    if (state.crHeld) {
        const CopyResult last = PutChecked(file, &lastCr, 1, compare);
        if (last != CopyDone) return last;
    }
    if (compare && (std::fread(Found, 1, 1, file) != 0 || std::ferror(file))) return CopyDiffers;  // longer
    // A check that cannot finish in the pass (a large gzip, say) leaves it to the search's own.
    return FinishFormatCheck(&Recheck) != CheckFailed ? CopyDone : CopyUndecided;
}

CopyResult CopyKeepingPairs(FILE* input, FILE* output, const KeptPairs& kept, FileFormat format) {
    return KeepingPairs(input, output, kept, format, false);
}

CopyResult MatchKeepingPairs(FILE* input, FILE* copy, const KeptPairs& kept, FileFormat format) {
    return KeepingPairs(input, copy, kept, format, true);
}

// The repair again, from the picked file, keeping the CRs a search found the file held.
// Rare, so it goes a byte at a time; memory stays one block whatever the size.
#include "restore_kept.h"

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

static bool WriteChecked(FILE* output, const unsigned char* bytes, size_t n) {
    CheckFormatBytes(&Recheck, bytes, n);
    return std::fwrite(bytes, 1, n, output) == n;
}

CopyResult CopyKeepingPairs(FILE* input, FILE* output, const KeptPairs& kept, FileFormat format) {
    if (std::fseek(input, 0, SEEK_SET) != 0) return CopyReadFailed;
    if (std::fflush(output) != 0 || std::fseek(output, 0, SEEK_SET) != 0) return CopyWriteFailed;
    StartFormatCheck(&Recheck, format);
    KeptState state = {};
    for (;;) {
        const size_t got = std::fread(KeptIn, 1, sizeof KeptIn, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        if (!WriteChecked(output, KeptOut, KeepBlock(KeptIn, got, kept, &state))) return CopyWriteFailed;
    }
    const unsigned char lastCr = '\r';
    if (state.crHeld && !WriteChecked(output, &lastCr, 1)) return CopyWriteFailed;
    return FinishFormatCheck(&Recheck) == CheckPassed ? CopyDone : CopyDiffers;
}

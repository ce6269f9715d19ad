// Repairs one file whose every LF was expanded to CR LF. The mapping, input to output:
//   CR LF                          -> LF   (the CR is left out)
//   CR before any other byte, or
//   CR as the file's last byte     -> CR
//   every other byte               -> itself
// Only the input decides: a CR is judged by the input byte after it, never by the output.
#include "restore.h"

#include <cstring>

#include "restore_wide.h"

// Static rather than on the stack or heap: memory stays the same whatever the file
// size. One block, repaired where it lies; the byte before the input is for a held CR.
static unsigned char Block[ConvertBlockSize + 1];

static bool WidthChosen = false;
static RestoreWidth WidthInForce = RestoreBytes;

RestoreWidth WidestRestoreWidth() {
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

static size_t RestoreChunks(const unsigned char* in, size_t n, unsigned char* out, size_t* next) {
    switch (RestoreWidthInForce()) {
        case RestoreAvx2: return RestoreChunksAvx2(in, n, out, next);
        case RestoreSse2: return RestoreChunksSse2(in, n, out, next);
        case RestoreBytes: break;
    }
    return 0;
}

// memmove, not memcpy: the output may trail the input in the same block.
size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, bool* crHeld) {
    size_t written = 0;
    size_t next = 0;
    if (n == 0) return 0;
    if (*crHeld) {
        if (in[0] != '\n') out[written++] = '\r';
        *crHeld = false;
    }
    written += RestoreChunks(in, n, out + written, &next);
    while (next < n) {
        const void* found = std::memchr(in + next, '\r', n - next);
        const size_t cr = found ? static_cast<size_t>(static_cast<const unsigned char*>(found) - in) : n;
        std::memmove(out + written, in + next, cr - next);
        written += cr - next;
        if (cr == n) break;
        if (cr + 1 == n) {
            *crHeld = true;  // the next block decides
            break;
        }
        if (in[cr + 1] != '\n') out[written++] = '\r';
        next = cr + 1;
    }
    return written;
}

static bool WriteAll(FILE* output, const unsigned char* bytes, size_t count) {
    return std::fwrite(bytes, 1, count, output) == count;
}

CopyResult CopyRestoring(FILE* input, FILE* output) {
    bool crHeld = false;
    for (;;) {
        const size_t got = std::fread(Block + 1, 1, ConvertBlockSize, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        const size_t put = RestoreLineEnds(Block + 1, got, Block, &crHeld);
        if (!WriteAll(output, Block, put)) return CopyWriteFailed;
    }
    const unsigned char lastCr = '\r';
    if (crHeld && !WriteAll(output, &lastCr, 1)) return CopyWriteFailed;
    return CopyDone;
}


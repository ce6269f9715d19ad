// Repairs one file whose every LF was expanded to CR LF. The mapping, input to output:
//   CR LF                          -> LF   (the CR is left out)
//   CR before any other byte, or
//   CR as the file's last byte     -> CR
//   every other byte               -> itself
// Only the input decides: a CR is judged by the input byte after it, never by the output.
#include "restore.h"

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// Static rather than on the stack or heap: memory stays the same whatever the file size.
static unsigned char InputBlock[ConvertBlockSize];
static unsigned char OutputBlock[ConvertBlockSize + 1];

#ifdef __SSE2__
// Sixteen bytes at a time: copy the chunk, then shift the rest of the chunk left over
// each CR of a CR LF pair. The first shift is done even without a pair (harmlessly,
// past the chunk) so the common case takes no branch. Stops with fewer than 48 bytes
// left, because the shifts read ahead; the byte loop finishes the block.
static size_t RestoreWide(const unsigned char* in, size_t n, unsigned char* out, size_t* next) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    size_t i = *next;
    size_t written = 0;
    for (; i + 48 <= n; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
        unsigned pairs = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(after, lf))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written), chunk);
        const size_t first = static_cast<size_t>(__builtin_ctz(pairs | 0x10000u));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written + first),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + first + 1)));
        size_t removed = pairs != 0;
        pairs &= pairs - 1;
        while (pairs) {
            const size_t lane = static_cast<size_t>(__builtin_ctz(pairs));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + written + lane - removed),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + lane + 1)));
            ++removed;
            pairs &= pairs - 1;
        }
        written += 16 - removed;
    }
    *next = i;
    return written;
}
#else
static size_t RestoreWide(const unsigned char*, size_t, unsigned char*, size_t*) {
    return 0;
}
#endif

size_t RestoreLineEnds(const unsigned char* in, size_t n, unsigned char* out, bool* crHeld) {
    size_t written = 0;
    size_t next = 0;
    if (n == 0) return 0;
    if (*crHeld) {
        if (in[0] != '\n') out[written++] = '\r';
        *crHeld = false;
    }
    written += RestoreWide(in, n, out + written, &next);
    while (next < n) {
        const void* found = std::memchr(in + next, '\r', n - next);
        const size_t cr = found ? static_cast<size_t>(static_cast<const unsigned char*>(found) - in) : n;
        std::memcpy(out + written, in + next, cr - next);
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
        const size_t got = std::fread(InputBlock, 1, ConvertBlockSize, input);
        if (got == 0) {
            if (std::ferror(input)) return CopyReadFailed;
            break;
        }
        const size_t put = RestoreLineEnds(InputBlock, got, OutputBlock, &crHeld);
        if (!WriteAll(output, OutputBlock, put)) return CopyWriteFailed;
    }
    const unsigned char lastCr = '\r';
    if (crHeld && !WriteAll(output, &lastCr, 1)) return CopyWriteFailed;
    return CopyDone;
}


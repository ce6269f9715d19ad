// The wide paths of the repair on x86: SSE2 and AVX2, each compiled for its own
// instruction set by a function attribute and run only after the CPU says it has it,
// so the program itself (the 32-bit build is compiled without SSE2) still starts on
// any x86 CPU. Per-function targets rather than per-file flags: a file compiled with
// -mavx2 could leave AVX2 copies of inline library functions for the linker to pick.
//
// Each path scans whole chunks whose look-ahead byte is still in the block, and
// stops before the rest: the byte loop in restore.cpp finishes the block. Every
// store ends at or before the end of the input already read, so the output may be
// the input itself, one byte earlier (see RestoreLineEnds).
#include "restore_wide.h"

#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>
#include <cstring>

// How far ahead to ask for the input. The block comes from the system's copy into it
// and is often no longer in the nearest caches; fetching 2 KiB ahead about doubled the
// speed of the pass over such a block here, and costs nothing when it is cached.
// (Prefetching past the block is harmless: a prefetch never faults.)
static const size_t PrefetchDistance = 2048;

// As an integer: a pointer past the block would be undefined even if never read.
static const char* Ahead(const unsigned char* at) {
    return reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(at) + PrefetchDistance);
}

// For each pair mask of an eight-byte group (bit k: the CR of a pair at byte k):
// the shuffle that packs the bytes kept to the front, and how many are kept.
// A pair's LF is never a CR, so no two bits are next to each other; the table
// covers every mask anyway. Made by the compiler, so no code runs before the check.
struct GroupTables {
    unsigned char shuffle[256][8];
    unsigned char kept[256];
};

static constexpr GroupTables MakeGroupTables() {
    GroupTables tables{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned kept = 0;
        for (unsigned byte = 0; byte < 8; ++byte) {
            if ((mask & (1u << byte)) == 0) tables.shuffle[mask][kept++] = static_cast<unsigned char>(byte);
        }
        tables.kept[mask] = static_cast<unsigned char>(kept);
        for (unsigned rest = kept; rest < 8; ++rest) tables.shuffle[mask][rest] = 0x80;  // shuffles in a zero
    }
    return tables;
}

static constexpr GroupTables Groups = MakeGroupTables();

bool CpuHasSse2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2");
}

bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");  // true only if the system also saves the wide registers
}

// The bytes below each lane of an eight-byte group; lane 8 means "no pair": all of them.
static constexpr uint64_t BytesBelow[9] = {
    0, 0xFF, 0xFFFF, 0xFFFFFF, 0xFFFFFFFFull, 0xFFFFFFFFFFull, 0xFFFFFFFFFFFFull, 0xFFFFFFFFFFFFFFull,
    ~static_cast<uint64_t>(0)};

// Leaves out the marked bytes of an eight-byte group with integer shifts (SSE2 has
// no byte shuffle), lowest first. No pair and one pair, the usual cases, take the
// same single round, so how many there are costs no mispredicted branch.
static size_t PackGroupShifting(const unsigned char* group, unsigned pairs, unsigned char* out) {
    uint64_t bytes;
    std::memcpy(&bytes, group, 8);
    unsigned removed = 0;
    do {
        const unsigned lane = static_cast<unsigned>(__builtin_ctz(pairs | 0x100u)) - removed;
        const uint64_t below = BytesBelow[lane];
        bytes = (bytes & below) | ((bytes >> 8) & ~below);
        removed += pairs != 0;
        pairs &= pairs - 1;
    } while (pairs != 0);
    std::memcpy(out, &bytes, 8);
    return 8 - removed;
}

// An LF among the bytes after is lone where the byte of chunk below it is no CR.
__attribute__((target("sse2")))
size_t RestoreChunksSse2(const unsigned char* in, size_t n, unsigned char* out, size_t* next, WideCounts* counts) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    size_t i = *next;
    size_t written = 0;
    __m128i lone = _mm_setzero_si128();
    unsigned crBefore = counts->crBefore;
    size_t crPairs = 0;  // in a register: the stores to out may alias anything reached by a pointer
    for (; i + 17 <= n; i += 16) {
        _mm_prefetch(Ahead(in + i), _MM_HINT_T0);
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 1));
        const __m128i crs = _mm_cmpeq_epi8(chunk, cr);
        const __m128i lfsAfter = _mm_cmpeq_epi8(after, lf);
        lone = _mm_or_si128(lone, _mm_andnot_si128(crs, lfsAfter));
        const unsigned pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(crs, lfsAfter)));
        const unsigned crMask = static_cast<unsigned>(_mm_movemask_epi8(crs));
        crPairs += static_cast<unsigned>(__builtin_popcount(pairs & ((crMask << 1) | crBefore)));
        crBefore = crMask >> 15;
        // No branch on whether there is a pair: in text it is a coin toss. The second
        // group is read after the first is stored; that store ends where it begins at the latest.
        written += PackGroupShifting(in + i, pairs & 0xFF, out + written);
        written += PackGroupShifting(in + i + 8, pairs >> 8, out + written);
    }
    if (_mm_movemask_epi8(lone) != 0) counts->loneLineFeed = true;
    counts->crBefore = crBefore != 0;
    counts->crPairs += crPairs;
    *next = i;
    return written;
}

// The helpers below take vectors by value: always inlined, since the 64-bit Windows
// convention would otherwise pass each through the stack on every chunk.
//
// Packs the two eight-byte groups of a sixteen-byte half and stores them one after
// the other; eight-byte stores, so none reaches past the input already read.
__attribute__((target("avx2"), always_inline)) inline
static size_t PackHalfShuffling(__m128i half, unsigned pairs, unsigned char* out) {
    const unsigned low = pairs & 0xFF;
    const unsigned high = (pairs >> 8) & 0xFF;
    const __m128i order = _mm_add_epi8(
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Groups.shuffle[low])),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Groups.shuffle[high]))),
        _mm_set_epi32(0x08080808, 0x08080808, 0, 0));  // the second group's bytes are 8 to 15
    const __m128i packed = _mm_shuffle_epi8(half, order);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    const size_t first = Groups.kept[low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + first), _mm_unpackhi_epi64(packed, packed));
    return first + Groups.kept[high];
}

// The CRs of pairs in chunk; lone gathers the LFs of after with no CR below them.
__attribute__((target("avx2"), always_inline)) inline
static unsigned PairMask(__m256i chunk, __m256i after, __m256i* lone) {
    const __m256i crs = _mm256_cmpeq_epi8(chunk, _mm256_set1_epi8('\r'));
    const __m256i lfsAfter = _mm256_cmpeq_epi8(after, _mm256_set1_epi8('\n'));
    *lone = _mm256_or_si256(*lone, _mm256_andnot_si256(crs, lfsAfter));
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(crs, lfsAfter)));
}

__attribute__((target("avx2"), always_inline)) inline
static unsigned CrMask(__m256i chunk) {
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(chunk, _mm256_set1_epi8('\r'))));
}

__attribute__((target("avx2"), always_inline)) inline
static size_t PackChunk(__m256i chunk, unsigned pairs, unsigned char* out) {
    const size_t first = PackHalfShuffling(_mm256_castsi256_si128(chunk), pairs & 0xFFFF, out);
    return first + PackHalfShuffling(_mm256_extracti128_si256(chunk, 1), pairs >> 16, out + first);
}

// 64 bytes at a time. Binary data has a pair only every few hundred bytes, so most
// 64 bytes are stored whole; text has one in nearly every 64, so the branch is just as
// predictable there. Both chunks are loaded before either is stored.
__attribute__((target("avx2")))
size_t RestoreChunksAvx2(const unsigned char* in, size_t n, unsigned char* out, size_t* next, WideCounts* counts) {
    size_t i = *next;
    size_t written = 0;
    __m256i lone = _mm256_setzero_si256();
    unsigned crBefore = counts->crBefore;
    size_t crPairs = 0;  // in a register: the stores to out may alias anything reached by a pointer
    for (; i + 65 <= n; i += 64) {
        _mm_prefetch(Ahead(in + i), _MM_HINT_T0);
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
        const unsigned lowPairs =
            PairMask(low, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 1)), &lone);
        const unsigned highPairs =
            PairMask(high, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 33)), &lone);
        const unsigned lowBefore = crBefore;
        crBefore = in[i + 63] == '\r';
        if ((lowPairs | highPairs) == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + written), low);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + written + 32), high);
            written += 64;
            continue;
        }
        // CR CR LF: a pair whose CR has a CR below it.
        const unsigned lowCrs = CrMask(low);
        const unsigned highCrs = CrMask(high);
        crPairs += static_cast<unsigned>(__builtin_popcount(lowPairs & ((lowCrs << 1) | lowBefore)) +
                                         __builtin_popcount(highPairs & ((highCrs << 1) | (lowCrs >> 31))));
        written += PackChunk(low, lowPairs, out + written);
        written += PackChunk(high, highPairs, out + written);
    }
    if (_mm256_movemask_epi8(lone) != 0) counts->loneLineFeed = true;
    counts->crBefore = crBefore != 0;
    counts->crPairs += crPairs;
    *next = i;
    return written;
}

#else

bool CpuHasSse2() {
    return false;
}

bool CpuHasAvx2() {
    return false;
}

size_t RestoreChunksSse2(const unsigned char*, size_t, unsigned char*, size_t*, WideCounts*) {
    return 0;
}

size_t RestoreChunksAvx2(const unsigned char*, size_t, unsigned char*, size_t*, WideCounts*) {
    return 0;
}

#endif

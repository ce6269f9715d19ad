// The span search (see pair_search.h). Why it is cheap: the CRC of a concatenation is
// crc(A B) = Shift(crc(A), |B|) ^ crc(B). Keeping the CR of one pair, whose LF stands at
// q in the span with every pair's CR dropped (length L), turns the CRC into
//   noneKept ^ Shift(Shift(P, 1) ^ P ^ crc("\r"), L - q),  P the CRC up to q,
// and keeping several adds one such lift each, shifted by one byte for every kept CR
// after it. So a span is read once, and each way costs a few shifts.
#include "pair_search.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "own_crcs.h"

namespace {

const unsigned char CR = 0x0D;
const unsigned char LF = 0x0A;
const size_t SpanBlock = 1 << 16;

unsigned long CrcOfBytes(SpanCrc crc, unsigned long value, const unsigned char* bytes, size_t n) {
    switch (crc) {
        case SpanCrcZlib: return crc32(value, bytes, static_cast<uInt>(n));
        case SpanCrcOgg: return OggCrc(value, bytes, n);
        case SpanCrcFlac16: return FlacCrc16(static_cast<unsigned>(value), bytes, n);
    }
    return 0;
}

// zlib's shift operator for n bytes, in steps a 32-bit z_off_t holds.
unsigned long ZlibShiftOperator(unsigned long long n) {
    const unsigned long long step = 1ULL << 30;
    unsigned long op = crc32_combine_gen(static_cast<z_off_t>(n % step));
    for (unsigned long long left = n / step; left > 0; --left)
        op = crc32_combine_op(op, 0, crc32_combine_gen(static_cast<z_off_t>(step)));
    return op;
}

unsigned long Shift(SpanCrc crc, unsigned long value, unsigned long long n) {
    switch (crc) {
        case SpanCrcZlib: return crc32_combine_op(value, 0, ZlibShiftOperator(n));
        case SpanCrcOgg: return OggCrcShift(value, n);
        case SpanCrcFlac16: return FlacCrc16Shift(static_cast<unsigned>(value), n);
    }
    return 0;
}

unsigned long long WaysToChoose(size_t n, size_t k, unsigned long long cap) {
    // n choose k, or cap + 1 once it passes cap.
    if (k > n) return 0;
    if (k > n - k) k = n - k;
    unsigned long long ways = 1;
    for (size_t i = 1; i <= k; ++i) {
        const unsigned long long next = ways * (n - k + i);
        if (next / (n - k + i) != ways || next / i > cap) return cap + 1;
        ways = next / i;
    }
    return ways;
}

unsigned char spanBlock[SpanBlock + 1];
unsigned long long lengthAhead[MaxSpanPairs];  // each pair's LF in the span with every CR dropped

// Lifts sorted with their pair's index, to find the last kept pair of a way by value.
unsigned long long liftIndex[MaxSpanPairs];
const unsigned IndexBits = 20;

// One way being tried: the pairs kept (indices) and the CRC so far after each.
size_t chosen[MaxSpanPairs];
unsigned long chosenSum[MaxSpanPairs + 1];
size_t found[MaxSpanPairs];  // the first way that passed

void SortLifts(const SpanPairs* pairs) {
    for (size_t j = 0; j < pairs->count; ++j)
        liftIndex[j] = static_cast<unsigned long long>(pairs->lift[j]) << IndexBits | j;
    std::sort(liftIndex, liftIndex + pairs->count);
}

// The second check, when the caller gave one, and how many ways it may still be asked.
SpanWayCheck wayCheck = nullptr;
unsigned long checksLeft = 0;
bool checksRanOut = false;  // or the file's ways ran out

// The ways tried over one file's spans, all counts together: a file of many spans each
// near its cap takes seconds at most, not minutes.
unsigned long long waysLeft = MaxWaysPerFile;

// Pairs after index `after` whose lift is need, each making a way with chosen[0, last):
// those passing the second check (if any) added to *matches, up to 2; the first whole
// way that passed is put in found.
void CountLastPair(const SpanPairs* pairs, unsigned long need, size_t after, bool anyAfter, size_t last,
                   int* matches) {
    const unsigned long long key = static_cast<unsigned long long>(need) << IndexBits;
    for (const unsigned long long* entry = std::lower_bound(liftIndex, liftIndex + pairs->count, key);
         entry < liftIndex + pairs->count && (*entry >> IndexBits) == need && *matches < 2; ++entry) {
        const size_t index = static_cast<size_t>(*entry & ((1ULL << IndexBits) - 1));
        if (anyAfter && index <= after) continue;
        chosen[last] = index;
        if (wayCheck != nullptr) {
            if (checksLeft == 0) {
                checksRanOut = true;
                return;
            }
            --checksLeft;
            if (!wayCheck(pairs, chosen, last + 1)) continue;
        }
        if (*matches == 0) std::memcpy(found, chosen, (last + 1) * sizeof chosen[0]);
        ++*matches;
    }
}

// Each lift shifted by 1 to keep - 1 bytes, worked out once per count of kept pairs:
// a shift costs dozens of multiplications, and the ways repeat them. Spans with few
// enough ways to search have at most about this many of them (2^14 pairs keeping one).
const size_t MaxShiftedLifts = 1 << 15;
unsigned long shiftedLift[MaxShiftedLifts];

// Ways of keeping exactly keep pairs that give want: 0, 1 (in found) or 2 meaning more.
int CountWays(const SpanPairs* pairs, size_t keep, unsigned long want) {
    const unsigned long target = want ^ pairs->noneKept;
    if (keep == 0) return target == 0 ? 1 : 0;
    const size_t before = keep - 1;  // pairs chosen one by one; the last is looked up
    const size_t n = pairs->count;
    const bool tabled = before <= MaxShiftedLifts / (n > 0 ? n : 1);
    for (size_t j = 1; tabled && j <= before; ++j)
        for (size_t i = 0; i < n; ++i) shiftedLift[(j - 1) * n + i] = Shift(pairs->crc, pairs->lift[i], j);
    for (size_t i = 0; i < before; ++i) chosen[i] = i;
    int matches = 0;
    size_t fresh = 0;  // chosenSum is up to date below this
    chosenSum[0] = 0;
    for (;;) {
        if (waysLeft == 0) {
            checksRanOut = true;
            return matches;
        }
        --waysLeft;
        for (size_t i = fresh; i < before; ++i)
            chosenSum[i + 1] = chosenSum[i] ^ (tabled ? shiftedLift[(before - 1 - i) * n + chosen[i]]
                                                      : Shift(pairs->crc, pairs->lift[chosen[i]], keep - 1 - i));
        CountLastPair(pairs, target ^ chosenSum[before], before > 0 ? chosen[before - 1] : 0, before > 0, before,
                      &matches);
        if (matches >= 2 || checksRanOut) return matches;
        // The next combination of the first pairs, leaving room for the last one.
        size_t i = before;
        while (i > 0 && chosen[i - 1] >= pairs->count - 2 - (before - i)) --i;
        if (i == 0) return matches;
        ++chosen[i - 1];
        for (size_t m = i; m < before; ++m) chosen[m] = chosen[m - 1] + 1;
        fresh = i - 1;
    }
}

bool AppendFound(const SpanPairs* pairs, size_t keep, KeptPairs* kept) {
    for (size_t i = 0; i < keep; ++i)
        if (!KeepPair(kept, pairs->at[found[i]])) return false;
    return true;
}

}  // namespace

void StartSpanSearches() {
    waysLeft = MaxWaysPerFile;
}

bool ListSpanPairs(const PickedBytes* picked, unsigned long long from, unsigned long long to, SpanCrc crc,
                   unsigned long before, SpanPairs* pairs) {
    if (from > to || to > picked->size) return false;
    pairs->crc = crc;
    pairs->from = from;
    pairs->to = to;
    pairs->count = 0;
    unsigned long value = before;
    unsigned long long kept = 0;  // bytes of the span with every CR dropped, so far
    for (unsigned long long at = from; at < to;) {
        // One byte more than the block, when there is one, to see a pair across its end.
        const size_t mine = static_cast<size_t>(std::min<unsigned long long>(SpanBlock, to - at));
        const size_t read = mine + (at + mine < to ? 1 : 0);
        if (!ReadPicked(picked, at, spanBlock, read)) return false;
        size_t start = 0;  // the piece not yet in the CRC
        for (const unsigned char* lf = spanBlock + 1; (lf = static_cast<const unsigned char*>(
                                                          std::memchr(lf, LF, spanBlock + read - lf))) != nullptr;
             ++lf) {
            const size_t i = static_cast<size_t>(lf - spanBlock) - 1;  // the CR, if it is one
            if (spanBlock[i] != CR) continue;
            if (pairs->count == MaxSpanPairs) return false;
            value = CrcOfBytes(crc, value, spanBlock + start, i - start);
            kept += i - start;
            pairs->at[pairs->count] = at + i;
            pairs->lift[pairs->count] = value;  // the CRC up to the LF, turned into the lift below
            lengthAhead[pairs->count] = kept;
            ++pairs->count;
            start = i + 1;
        }
        value = CrcOfBytes(crc, value, spanBlock + start, mine - start);
        kept += mine - start;
        at += mine;
    }
    pairs->noneKept = value;
    const unsigned char cr = CR;
    const unsigned long crcOfCr = CrcOfBytes(crc, 0, &cr, 1);
    for (size_t j = 0; j < pairs->count; ++j) {
        const unsigned long upToLf = pairs->lift[j];
        pairs->lift[j] = Shift(crc, Shift(crc, upToLf, 1) ^ upToLf ^ crcOfCr, kept - lengthAhead[j]);
    }
    return true;
}

// Pairs with CR at p, from <= p and p + 1 < to, added to *count.
static bool CountPairs(const PickedBytes* picked, unsigned long long from, unsigned long long to, size_t* count) {
    for (unsigned long long at = from; at + 1 < to;) {
        const size_t read = static_cast<size_t>(std::min<unsigned long long>(SpanBlock + 1, to - at));
        if (!ReadPicked(picked, at, spanBlock, read)) return false;
        for (const unsigned char* lf = spanBlock + 1; (lf = static_cast<const unsigned char*>(
                                                          std::memchr(lf, LF, spanBlock + read - lf))) != nullptr;
             ++lf)
            if (lf[-1] == CR && ++*count > MaxSpanPairs) return false;
        at += read - 1;
    }
    return true;
}

bool SpanEndRange(const PickedBytes* picked, unsigned long long from, unsigned long long length,
                  unsigned long long* first, unsigned long long* last) {
    *first = 1;
    *last = 0;
    if (from > picked->size || length > picked->size - from) return true;
    *first = from + length;
    // An end e needs e - first dropped CRs, so pairs inside [from, e). Counting the pairs
    // up to one byte past the farthest end so far finds a pair whose LF ends there too.
    // The range may come out a byte long; KeepForLength turns such an end away.
    size_t pairs = 0;
    unsigned long long counted = from;  // pairs inside [from, counted) are in pairs
    for (;;) {
        const unsigned long long reach = std::min<unsigned long long>(picked->size, *first + pairs + 1);
        if (reach <= counted) break;
        if (!CountPairs(picked, counted > from ? counted - 1 : from, reach, &pairs)) return false;
        counted = reach;
    }
    *last = std::min<unsigned long long>(picked->size, *first + pairs);
    return true;
}

bool KeepForLength(const SpanPairs* pairs, unsigned long long length, size_t* keep) {
    const unsigned long long span = pairs->to - pairs->from;
    if (length > span) return false;
    const unsigned long long dropped = span - length;
    if (dropped > pairs->count) return false;
    *keep = pairs->count - static_cast<size_t>(dropped);
    return true;
}

SpanFound FindKeptPairs(const SpanPairs* pairs, size_t keep, unsigned long want, unsigned long long maxWays,
                        KeptPairs* kept) {
    if (keep > pairs->count) return SpanNoWay;
    if (WaysToChoose(pairs->count, keep, maxWays) > maxWays) return SpanTooManyWays;
    wayCheck = nullptr;
    checksRanOut = false;
    SortLifts(pairs);
    const int ways = CountWays(pairs, keep, want);
    if (checksRanOut) return SpanTooManyWays;
    if (ways == 0) return SpanNoWay;
    if (ways > 1) return SpanSeveralWays;
    return AppendFound(pairs, keep, kept) ? SpanOneWay : SpanTooManyWays;
}

SpanFound FindKeptPairsAnyCount(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                KeptPairs* kept) {
    return FindKeptPairsAnyCountChecked(pairs, want, maxWays, nullptr, 0, kept);
}

// The counts from 1 up: fewest stops at the first count any way passes.
static SpanFound FindAnyCount(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                              SpanWayCheck check, unsigned long maxChecks, bool fewest, KeptPairs* kept) {
    static size_t firstFound[MaxSpanPairs];
    SortLifts(pairs);
    wayCheck = check;
    checksLeft = maxChecks;
    checksRanOut = false;
    unsigned long long tried = 0;
    int matches = 0;
    size_t matchedKeep = 0;
    bool allCounts = true;
    for (size_t keep = 1; keep <= pairs->count; ++keep) {
        const unsigned long long ways = WaysToChoose(pairs->count, keep, maxWays);
        if (ways > maxWays - tried) {
            allCounts = false;
            break;
        }
        tried += ways;
        const int here = CountWays(pairs, keep, want);
        if (here > 0 && matches == 0) {
            matchedKeep = keep;
            std::memcpy(firstFound, found, keep * sizeof found[0]);
        }
        matches += here;
        if (matches >= 2 || checksRanOut || (fewest && matches > 0)) break;
    }
    wayCheck = nullptr;
    if (checksRanOut) return SpanTooManyWays;
    if (matches >= 2) return SpanSeveralWays;
    if (tried == 0 && pairs->count > 0) return SpanTooManyWays;
    if (matches == 0) return allCounts ? SpanNoWay : SpanTooManyWays;
    std::memcpy(found, firstFound, matchedKeep * sizeof found[0]);
    return AppendFound(pairs, matchedKeep, kept) ? SpanOneWay : SpanTooManyWays;
}

SpanFound FindKeptPairsAnyCountChecked(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                       SpanWayCheck check, unsigned long maxChecks, KeptPairs* kept) {
    return FindAnyCount(pairs, want, maxWays, check, maxChecks, false, kept);
}

SpanFound FindFewestKeptPairsChecked(const SpanPairs* pairs, unsigned long want, unsigned long long maxWays,
                                     SpanWayCheck check, unsigned long maxChecks, KeptPairs* kept) {
    return FindAnyCount(pairs, want, maxWays, check, maxChecks, true, kept);
}

unsigned long SpanCrcOfWay(const SpanPairs* pairs, const bool* keepIt) {
    size_t after = 0;  // kept pairs after the one at hand
    for (size_t j = 0; j < pairs->count; ++j) after += keepIt[j] ? 1 : 0;
    unsigned long value = pairs->noneKept;
    for (size_t j = 0; j < pairs->count; ++j) {
        if (!keepIt[j]) continue;
        --after;
        value ^= Shift(pairs->crc, pairs->lift[j], after);
    }
    return value;
}

// ---- A few bytes of the original read ahead or behind, every pair both ways ----

namespace {

unsigned char readWindow[2 * MaxReadingBytes + 2];
Reading wayNow;

bool AddReading(Readings* readings) {
    if (readings->count == MaxReadings) {
        readings->capped = true;
        return false;
    }
    readings->way[readings->count++] = wayNow;
    return true;
}

bool KeepNow(unsigned long long at) {
    if (wayNow.keptCount == MaxReadingKept) return false;
    wayNow.kept[wayNow.keptCount++] = at;
    return true;
}

// From window index i on, until n bytes of the original are read.
void ReadAheadFrom(Readings* readings, unsigned long long at, size_t window, size_t i, size_t n) {
    while (wayNow.length < n) {
        if (i >= window) return;  // the file ends first
        if (readWindow[i] == CR && i + 1 < window && readWindow[i + 1] == LF) {
            const Reading saved = wayNow;
            if (KeepNow(at + i)) {
                wayNow.bytes[wayNow.length++] = CR;
                ReadAheadFrom(readings, at, window, i + 1, n);
            } else {
                readings->capped = true;
            }
            wayNow = saved;
            if (readings->capped) return;
            ++i;  // and the CR dropped: the LF is read next
            continue;
        }
        wayNow.bytes[wayNow.length++] = readWindow[i++];
    }
    wayNow.from = at;
    wayNow.to = at + i;
    AddReading(readings);
}

void Reverse(unsigned long long* values, size_t n) {
    std::reverse(values, values + n);
}

void FinishBehind(Readings* readings, unsigned long long from) {
    wayNow.from = from;
    Reverse(wayNow.kept, wayNow.keptCount);
    AddReading(readings);
}

// Behind: the window's bytes [0, i) are not read yet; the next one back is i - 1.
void ReadBehindFrom(Readings* readings, unsigned long long base, size_t i, size_t n) {
    while (wayNow.length < n) {
        if (i == 0) return;  // floor reached first
        const size_t p = --i;
        const unsigned char byte = readWindow[p];
        wayNow.bytes[MaxReadingBytes - 1 - wayNow.length++] = byte;
        if (byte != LF || p == 0 || readWindow[p - 1] != CR) continue;
        // The CR before this LF, kept: read next, or left just before from.
        const Reading saved = wayNow;
        if (!KeepNow(base + p - 1)) {
            readings->capped = true;
            return;
        }
        if (wayNow.length < n) {
            wayNow.bytes[MaxReadingBytes - 1 - wayNow.length++] = CR;
            ReadBehindFrom(readings, base, p - 1, n);
        } else {
            FinishBehind(readings, base + p);
        }
        wayNow = saved;
        if (readings->capped) return;
        // Or dropped: it goes with these bytes, the byte before it comes next.
        i = p - 1;
        if (wayNow.length == n) {
            FinishBehind(readings, base + i);
            return;
        }
    }
    FinishBehind(readings, base + i);
}

}  // namespace

bool ReadOriginalAhead(const PickedBytes* picked, unsigned long long at, size_t n, Readings* readings) {
    readings->count = 0;
    readings->capped = false;
    if (n > MaxReadingBytes || at > picked->size) return false;
    const size_t window = static_cast<size_t>(std::min<unsigned long long>(2 * n + 1, picked->size - at));
    if (!ReadPicked(picked, at, readWindow, window)) return false;
    wayNow.length = 0;
    wayNow.keptCount = 0;
    ReadAheadFrom(readings, at, window, 0, n);
    return true;
}

bool ReadOriginalBehind(const PickedBytes* picked, unsigned long long floor, unsigned long long end, size_t n,
                        Readings* readings) {
    readings->count = 0;
    readings->capped = false;
    if (n > MaxReadingBytes || end > picked->size || floor > end) return false;
    const size_t window = static_cast<size_t>(std::min<unsigned long long>(2 * n + 2, end - floor));
    const unsigned long long base = end - window;
    if (!ReadPicked(picked, base, readWindow, window)) return false;
    wayNow.length = 0;
    wayNow.keptCount = 0;
    ReadBehindFrom(readings, base, window, n);
    // Read from the back of bytes: move each way's bytes to the front.
    for (size_t w = 0; w < readings->count; ++w) {
        Reading* way = &readings->way[w];
        std::memmove(way->bytes, way->bytes + MaxReadingBytes - way->length, way->length);
        way->to = end;
    }
    return true;
}

bool KeepReading(const Reading* reading, KeptPairs* kept) {
    for (size_t i = 0; i < reading->keptCount; ++i)
        if (!KeepPair(kept, reading->kept[i])) return false;
    return true;
}

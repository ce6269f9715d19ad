// ZIP walker. Checks, from the first byte to the last:
//   local entries     back to back from offset 0: signature 50 4B 03 04, the 30-byte
//                     header, name and extra field, then the data (compressed size)
//   stored data       its CRC-32 is the header's, its two sizes are equal (unless encrypted)
//   sizes after data  (flag bit 3) the data ends at the first descriptor (50 4B 07 08, CRC-32,
//                     sizes) whose compressed size is the length of the data before it
//   directory         right after the last entry, entry after entry (50 4B 01 02, 46
//                     bytes, name, extra field, comment); each gives the offset, CRC-32,
//                     method, name length and sizes of one local entry, and every local
//                     entry is given once (the two lists are summed into fingerprints)
//   end record        right after the directory (50 4B 05 06, 22 bytes): the directory's
//                     offset, size and entry count are as found; its comment ends the file
// Unsure: ZIP64 (a size or offset of FFFFFFFF, the ZIP64 records), several disks, data
// whose descriptor has no signature. Deflated data is checked by its lengths only; so
// is stored data followed by a descriptor.
#include "zip.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "deflate_search.h"
#include "pair_search.h"
#include "picked_window.h"

enum ZipPhase { ZipSignature, ZipRecord, ZipSkipLocal, ZipData, ZipSkipCentral, ZipComment, ZipAfterEnd };

const size_t ZipLocalSize = 30, ZipCentralSize = 46, ZipEndSize = 22;
const unsigned ZipFlagEncrypted = 0x01, ZipFlagSizesAfter = 0x08;
const unsigned ZipStored = 0, ZipDeflated = 8;
const unsigned long ZipNoSize = 0xFFFFFFFFUL;

static unsigned Little16(const unsigned char* b) {
    return b[0] | static_cast<unsigned>(b[1]) << 8;
}

static unsigned long Little32(const unsigned char* b) {
    return static_cast<unsigned long>(b[0]) | static_cast<unsigned long>(b[1]) << 8 |
           static_cast<unsigned long>(b[2]) << 16 | static_cast<unsigned long>(b[3]) << 24;
}

static bool IsSignature(const unsigned char* b, unsigned char third, unsigned char fourth) {
    return b[0] == 'P' && b[1] == 'K' && b[2] == third && b[3] == fourth;
}

static unsigned long long Mix(unsigned long long x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// One entry as both its local header and the directory give it.
static unsigned long long EntryFingerprint(unsigned long long offset, unsigned long crc, unsigned long long packed,
                                           unsigned long long size, unsigned method, unsigned nameLength) {
    unsigned long long x = Mix(offset + 1);
    x = Mix(x ^ crc);
    x = Mix(x ^ packed);
    x = Mix(x ^ size);
    return Mix(x ^ (static_cast<unsigned long long>(method) << 16 | nameLength));
}

void StartZipCheck(ZipCheck* check) {
    std::memset(check, 0, sizeof *check);
    check->phase = ZipSignature;
    check->want = 4;
}

static bool GiveUp(ZipCheck* check) {
    check->unsure = true;
    return true;
}

static void Expect(ZipCheck* check, unsigned phase, size_t want) {
    check->phase = phase;
    check->want = want;
}

static bool Signature(ZipCheck* check) {
    const unsigned char* b = check->record;
    const unsigned long long start = check->at - 4;
    if (IsSignature(b, 3, 4)) {
        if (check->centralSeen) return false;  // an entry after the directory
        Expect(check, ZipRecord, ZipLocalSize);
    } else if (IsSignature(b, 1, 2)) {
        if (!check->centralSeen) check->centralStart = start;
        check->centralSeen = true;
        Expect(check, ZipRecord, ZipCentralSize);
    } else if (IsSignature(b, 5, 6)) {
        if (!check->centralSeen) check->centralStart = start;
        check->centralSeen = true;
        Expect(check, ZipRecord, ZipEndSize);
    } else if (IsSignature(b, 6, 6) || IsSignature(b, 6, 7) || IsSignature(b, 5, 5) || IsSignature(b, 0x30, 0x30)) {
        return GiveUp(check);
    } else {
        return false;
    }
    return true;
}

static bool LocalHeader(ZipCheck* check) {
    const unsigned char* b = check->record;
    const unsigned flags = Little16(b + 6), method = Little16(b + 8);
    const unsigned long crc = Little32(b + 14), packed = Little32(b + 18), size = Little32(b + 22);
    if (packed == ZipNoSize || size == ZipNoSize) return GiveUp(check);
    const bool stored = method == ZipStored && !(flags & ZipFlagEncrypted);
    check->sizesAfter = (flags & ZipFlagSizesAfter) != 0;
    check->entryOffset = check->at - ZipLocalSize;
    check->entryKind = method << 16 | Little16(b + 26);
    if (!check->sizesAfter) {
        if (stored && packed != size) return false;
        check->localSum += EntryFingerprint(check->entryOffset, crc, packed, size, method, Little16(b + 26));
        ++check->locals;
    }
    check->skip = static_cast<unsigned long long>(Little16(b + 26)) + Little16(b + 28);
    check->crcData = stored && !check->sizesAfter;
    check->crc = crc32(0L, Z_NULL, 0);
    check->wantCrc = crc;
    check->phase = ZipSkipLocal;  // the compressed size stays in record for the data phase
    return true;
}

static bool CentralHeader(ZipCheck* check) {
    const unsigned char* b = check->record;
    const unsigned long packed = Little32(b + 20), size = Little32(b + 24), offset = Little32(b + 42);
    if (packed == ZipNoSize || size == ZipNoSize || offset == ZipNoSize || Little16(b + 34) != 0)
        return GiveUp(check);
    check->centralSum += EntryFingerprint(offset, Little32(b + 16), packed, size, Little16(b + 10), Little16(b + 28));
    ++check->centrals;
    check->skip = static_cast<unsigned long long>(Little16(b + 28)) + Little16(b + 30) + Little16(b + 32);
    check->phase = ZipSkipCentral;
    return true;
}

static bool EndRecord(ZipCheck* check) {
    const unsigned char* b = check->record;
    const unsigned long long endStart = check->at - ZipEndSize;
    const unsigned entriesHere = Little16(b + 8), entries = Little16(b + 10);
    const unsigned long size = Little32(b + 12), offset = Little32(b + 16);
    if (entries == 0xFFFF || size == ZipNoSize || offset == ZipNoSize) return GiveUp(check);
    if (Little16(b + 4) != 0 || Little16(b + 6) != 0) return GiveUp(check);
    if (offset != check->centralStart || size != endStart - check->centralStart) return false;
    if (entries != entriesHere || entries != check->centrals || check->centrals != check->locals) return false;
    if (check->localSum != check->centralSum) return false;
    check->skip = Little16(b + 20);
    check->phase = ZipComment;
    return true;
}

static bool RecordGathered(ZipCheck* check) {
    if (check->phase == ZipSignature) return Signature(check);
    if (IsSignature(check->record, 3, 4)) return LocalHeader(check);
    if (IsSignature(check->record, 1, 2)) return CentralHeader(check);
    return EndRecord(check);
}

static size_t Gather(ZipCheck* check, const unsigned char* bytes, size_t n) {
    const size_t start = check->phase == ZipSignature ? 0 : 4;
    const size_t have = check->have < start ? start : check->have;
    const size_t take = check->want - have < n ? check->want - have : n;
    std::memcpy(check->record + have, bytes, take);
    check->have = have + take;
    return take;
}

const size_t ZipDescriptorSize = 16;

// Whether a descriptor stands at d, the data having been `length` bytes before it; the
// entry is then counted with the descriptor's CRC-32 and sizes.
static bool DescriptorAt(ZipCheck* check, const unsigned char* d, unsigned long long length) {
    if (!IsSignature(d, 7, 8)) return false;
    if (Little32(d + 8) != length) {
        check->descriptorMissed = true;
        return false;
    }
    const unsigned method = check->entryKind >> 16, nameLength = check->entryKind & 0xFFFF;
    check->localSum += EntryFingerprint(check->entryOffset, Little32(d + 4), length, Little32(d + 12), method, nameLength);
    ++check->locals;
    return true;
}

// Data followed by its descriptor: the bytes up to the descriptor's end once it is found
// (the carry holds the data's last bytes, so a descriptor may start in the block before),
// or all n. A found descriptor leaves the phase for the next record's signature.
static size_t PassToDescriptor(ZipCheck* check, const unsigned char* bytes, size_t n, bool* found) {
    unsigned char joined[sizeof check->carry + ZipDescriptorSize];
    const size_t fromBlock = n < ZipDescriptorSize ? n : ZipDescriptorSize;
    std::memcpy(joined, check->carry, check->carried);
    std::memcpy(joined + check->carried, bytes, fromBlock);
    const unsigned long long joinedStart = check->at - check->carried;
    for (size_t i = 0; i < check->carried && i + ZipDescriptorSize <= check->carried + fromBlock; ++i)
        if (joined[i] == 'P' && DescriptorAt(check, joined + i, joinedStart + i - check->dataStart)) {
            *found = true;
            return static_cast<size_t>(joinedStart + i + ZipDescriptorSize - check->at);
        }
    for (const unsigned char* p = bytes; n >= ZipDescriptorSize && p <= bytes + n - ZipDescriptorSize; ++p) {
        p = static_cast<const unsigned char*>(std::memchr(p, 'P', static_cast<size_t>(bytes + n - ZipDescriptorSize - p) + 1));
        if (!p) break;
        if (DescriptorAt(check, p, check->at + static_cast<size_t>(p - bytes) - check->dataStart)) {
            *found = true;
            return static_cast<size_t>(p - bytes) + ZipDescriptorSize;
        }
    }
    // Keep the last bytes: a descriptor may begin among them.
    const size_t keep = check->carried + n < sizeof check->carry ? check->carried + n : sizeof check->carry;
    unsigned char last[sizeof check->carry];
    for (size_t i = 0; i < keep; ++i) {
        const size_t back = keep - i;  // bytes from the end
        last[i] = back <= n ? bytes[n - back] : check->carry[check->carried - (back - n)];
    }
    std::memcpy(check->carry, last, keep);
    check->carried = keep;
    return n;
}

static size_t Pass(ZipCheck* check, const unsigned char* bytes, size_t n) {
    const size_t take = check->skip < n ? static_cast<size_t>(check->skip) : n;
    if (check->phase == ZipData && check->crcData) check->crc = crc32(check->crc, bytes, static_cast<uInt>(take));
    check->skip -= take;
    return take;
}

// What follows a run of passed bytes once it is all passed.
static bool Passed(ZipCheck* check) {
    switch (check->phase) {
        case ZipSkipLocal:
            check->phase = ZipData;
            check->skip = Little32(check->record + 18);
            check->dataStart = check->at;
            check->carried = 0;
            return true;
        case ZipData:
            if (check->crcData && check->crc != check->wantCrc) return false;
            break;
        case ZipComment:
            check->phase = ZipAfterEnd;
            return true;
        default:
            break;
    }
    check->have = 0;
    Expect(check, ZipSignature, 4);
    return true;
}

bool CheckZipBytes(ZipCheck* check, const unsigned char* bytes, size_t n) {
    while (n > 0 && !check->unsure) {
        if (check->phase == ZipAfterEnd) return false;  // bytes after the end record's comment
        const bool gathering = check->phase == ZipSignature || check->phase == ZipRecord;
        if (check->phase == ZipData && check->sizesAfter) {
            bool found = false;
            const size_t used = PassToDescriptor(check, bytes, n, &found);
            check->at += used;
            bytes += used;
            n -= used;
            if (found) {
                check->have = 0;
                Expect(check, ZipSignature, 4);
            }
            continue;
        }
        const size_t used = gathering ? Gather(check, bytes, n) : Pass(check, bytes, n);
        check->at += used;
        bytes += used;
        n -= used;
        if (gathering && check->have == check->want && !RecordGathered(check)) return false;
        if (!gathering && check->skip == 0 && !Passed(check)) return false;
    }
    return true;
}

CheckVerdict FinishZipCheck(ZipCheck* check) {
    if (check->unsure) return CheckUnsure;
    // Data whose descriptor never came: bytes taken out where a descriptor with its
    // signature stood, or one without a signature (not followed).
    if (check->phase == ZipData && check->sizesAfter) return check->descriptorMissed ? CheckFailed : CheckUnsure;
    // Passes that end on the last byte are finished here (a comment or data of length 0
    // comes to its end without a byte of its own).
    while (check->phase != ZipAfterEnd && (check->phase == ZipSkipLocal || check->phase == ZipData ||
                                           check->phase == ZipSkipCentral || check->phase == ZipComment) &&
           check->skip == 0) {
        if (!Passed(check)) return CheckFailed;
    }
    return check->phase == ZipAfterEnd ? CheckPassed : CheckFailed;
}

// The search. The picked file is walked as the check walks the original. Each record
// (local header, directory entry, descriptor, end record) is read every way its CR LF
// pairs allow, and the way that fits is taken: the next record's signature where its
// lengths end, and for a directory entry its local entry's fingerprint. The lengths then
// fix each entry's data: its place in the picked file is where the next record's
// signature stands, and the count of its pairs that keep their CR follows; the data's
// CRC-32 (stored entries) or inflating it (deflated ones) says which. The directory's
// offsets and sizes must then agree with the entries as found, and the end record's
// comment must reach the file's end.
namespace {

const size_t ZipMaxPrints = 1 << 16;

struct ZipWalk {
    unsigned long long at;         // in the picked file
    unsigned long long removed;    // CRs taken out before `at` in the original as found
    unsigned long long localSum, centralSum, locals, centrals;
    bool evidence;                 // some span must keep CRs
    bool unfit;                    // a span that keeps none, or the structure, does not pass
    bool undecided;                // a span that must keep CRs, not settled
    unsigned long long inflateBudget;  // left of DeflateFileBudget
};

struct ZipEntry {
    unsigned flags, method, nameLength, extraLength;
    unsigned long crc;
    unsigned long long packed, size;
};

struct {
    PickedWindow window;
    SpanPairs pairs;
    DeflateFound found;
    Readings fixed, variable;
    unsigned long long prints[ZipMaxPrints];  // the local entries' fingerprints, sorted once walked
} Z;

// The next n bytes of the original as the plain repair reads them (every pair's CR
// dropped), from w->at on; false at the file's end. For record parts too long to be
// read every way (names and extra fields past MaxReadingBytes).
bool PassRepaired(ZipWalk* w, unsigned long long n) {
    for (; n > 0; --n) {
        if (PairAt(&Z.window, w->at)) {
            ++w->removed;
            ++w->at;
        }
        if (PickedByte(&Z.window, w->at) < 0) return false;
        ++w->at;
    }
    return true;
}

// Takes a way of reading a record: its CRs kept, the rest dropped.
bool TakeReading(ZipWalk* w, const Reading* way, KeptPairs* kept) {
    w->evidence = w->evidence || way->keptCount > 0;  // a record's own pair
    w->removed += (way->to - way->from) - way->length;
    w->at = way->to;
    return KeepReading(way, kept);
}

// The variable part (n bytes) after a fixed part read one way: every way, or as the plain
// repair reads it when too long; the first way in *ways, its count returned.
size_t ReadVariable(unsigned long long at, size_t n, Readings* ways) {
    if (n <= MaxReadingBytes) return ReadOriginalAhead(Z.window.picked, at, n, ways) ? ways->count : 0;
    ZipWalk w;
    std::memset(&w, 0, sizeof w);
    w.at = at;
    if (!PassRepaired(&w, n)) return 0;
    ways->count = 1;
    ways->capped = false;
    Reading* way = &ways->way[0];
    way->length = n;
    way->from = at;
    way->to = w.at;
    way->keptCount = 0;
    return 1;
}

bool SignatureAt(unsigned long long at, unsigned char third, unsigned char fourth) {
    const unsigned char* b = PickedAt(&Z.window, at, 4);
    return b && IsSignature(b, third, fourth);
}

bool RecordFollows(unsigned long long at) {
    return SignatureAt(at, 3, 4) || SignatureAt(at, 1, 2) || SignatureAt(at, 5, 5) || SignatureAt(at, 5, 6) ||
           SignatureAt(at, 6, 6);
}

// The pairs lying wholly in [from, to), counted a window at a time.
unsigned long long CountPairs(unsigned long long from, unsigned long long to) {
    unsigned long long pairs = 0;
    for (unsigned long long at = from; at + 1 < to;) {
        const unsigned long long left = to - at;
        const size_t n = left < PickedWindowSize / 2 ? static_cast<size_t>(left) : PickedWindowSize / 2;
        const unsigned char* b = PickedAt(&Z.window, at, n);
        if (!b) break;
        for (size_t i = 0; i + 1 < n; ++i) pairs += b[i] == 0x0D && b[i + 1] == 0x0A;
        if (at + n < to && b[n - 1] == 0x0D && PickedByte(&Z.window, at + n) == 0x0A) ++pairs;
        at += n;
    }
    return pairs;
}

// Where the data starting at `from` ends, given its length in the original: the first
// place, no nearer than the length and no farther than the length with every pair's CR
// added, where a record's signature stands. False when none does, or two do.
bool FindDataEnd(unsigned long long from, unsigned long long length, unsigned long long* end,
                 unsigned long long* pairs) {
    const unsigned long long size = Z.window.picked->size;
    if (length > size - from) return false;
    unsigned long long y = from + length, inside = CountPairs(from, y);
    unsigned long long repaired = length - inside;
    unsigned found = 0;
    while (repaired <= length && y <= size) {
        if (RecordFollows(y)) {
            if (++found > 1) return false;
            *end = y;
            *pairs = inside;
        }
        if (PairAt(&Z.window, y - 1))
            ++inside;
        else
            ++repaired;
        ++y;
    }
    return found == 1;
}

// Sizes stated after the data (flag bit 3): the first descriptor (50 4B 07 08, CRC-32
// and two 4-byte sizes) one of whose readings has a compressed size fitting the bytes
// before it and a record after it; *way is that reading.
bool FindDescriptor(unsigned long long from, ZipEntry* entry, unsigned long long* end, unsigned long long* pairs,
                    Reading* way) {
    const unsigned long long size = Z.window.picked->size;
    unsigned long long inside = 0;
    static Readings ways;
    for (unsigned long long y = from; y + 16 <= size; ++y) {
        if (y >= from + 2 && PairAt(&Z.window, y - 2)) ++inside;
        if (!SignatureAt(y, 7, 8) || !ReadOriginalAhead(Z.window.picked, y, 16, &ways)) continue;
        const unsigned long long span = y - from;
        for (size_t i = 0; i < ways.count; ++i) {
            const unsigned char* d = ways.way[i].bytes;
            const unsigned long long packed = Little32(d + 8);
            if (packed > span || span - inside > packed || !RecordFollows(ways.way[i].to)) continue;
            entry->crc = Little32(d + 4);
            entry->packed = packed;
            entry->size = Little32(d + 12);
            *end = y;
            *pairs = inside;
            *way = ways.way[i];
            return true;
        }
    }
    return false;
}

// The data of one entry, [w->at, end) of the picked file, keeping `keep` of its pairs.
void DecideData(ZipWalk* w, const ZipEntry* e, unsigned long long end, unsigned long long keep, KeptPairs* kept) {
    const bool stored = e->method == ZipStored && !(e->flags & ZipFlagEncrypted);
    if (keep == 0) {
        if (!stored) return;  // its lengths fit; inflating is the check's part, not the search's
        if (!ListSpanPairs(Z.window.picked, w->at, end, SpanCrcZlib, 0, &Z.pairs) || Z.pairs.noneKept != e->crc)
            w->unfit = true;
        return;
    }
    w->evidence = true;
    if (stored) {
        const bool listed = ListSpanPairs(Z.window.picked, w->at, end, SpanCrcZlib, 0, &Z.pairs);
        if (!listed || FindKeptPairs(&Z.pairs, static_cast<size_t>(keep), e->crc, SpanWaysCrc32, kept) != SpanOneWay)
            w->undecided = true;
        return;
    }
    if (e->method != ZipDeflated || (e->flags & ZipFlagEncrypted) || keep > MaxDeflateKept) {
        w->undecided = true;
        return;
    }
    const DeflateGoal goal = {DeflateEndZip, w->at, end, static_cast<unsigned>(keep), e->size, e->crc, w->inflateBudget};
    SearchDeflated(Z.window.picked, &goal, &Z.found);
    w->inflateBudget -= Z.found.fed < w->inflateBudget ? Z.found.fed : w->inflateBudget;
    if (Z.found.ways != 1 || Z.found.capped) {
        w->undecided = true;
        return;
    }
    for (size_t i = 0; i < Z.found.first.count; ++i)
        if (!KeepPair(kept, Z.found.first.kept[i])) w->undecided = true;
}

ZipEntry LocalFields(const unsigned char* b) {
    const ZipEntry e = {Little16(b + 6), Little16(b + 8), Little16(b + 26), Little16(b + 28),
                        Little32(b + 14), Little32(b + 18), Little32(b + 22)};
    return e;
}

// Where a local entry's data, starting at `at`, ends: its length in the local header, or
// its descriptor.
bool FindEntryEnd(unsigned long long at, ZipEntry* e, unsigned long long* end, unsigned long long* pairs,
                  Reading* descriptor) {
    if (e->flags & ZipFlagSizesAfter) return FindDescriptor(at, e, end, pairs, descriptor);
    return e->packed != ZipNoSize && FindDataEnd(at, e->packed, end, pairs);
}

// The ways of reading the record at `at` (fixed bytes, then the variable part whose
// length they give), the plain repair's reading first: a pair in a record is far more
// often one the damage made than one of the record's own.
struct RecordWays {
    size_t count;
    Reading fixed[MaxReadings], variable[MaxReadings];
};

void OrderPlainFirst(Readings* ways) {
    for (size_t i = 1; i < ways->count; ++i)
        if (ways->way[i].keptCount == 0) std::swap(ways->way[0], ways->way[i]);
}

// Every way of reading the record, up to MaxReadings; variableLength gives the length of
// the variable part from the fixed bytes.
bool ReadRecordWays(unsigned long long at, size_t fixedSize, size_t (*variableLength)(const unsigned char*),
                    RecordWays* ways) {
    ways->count = 0;
    if (!ReadOriginalAhead(Z.window.picked, at, fixedSize, &Z.fixed)) return false;
    OrderPlainFirst(&Z.fixed);
    for (size_t i = 0; i < Z.fixed.count; ++i) {
        const size_t n = ReadVariable(Z.fixed.way[i].to, variableLength(Z.fixed.way[i].bytes), &Z.variable);
        OrderPlainFirst(&Z.variable);
        for (size_t j = 0; j < n && ways->count < MaxReadings; ++j) {
            ways->fixed[ways->count] = Z.fixed.way[i];
            ways->variable[ways->count++] = Z.variable.way[j];
        }
    }
    return ways->count > 0;
}

size_t LocalVariableLength(const unsigned char* b) {
    return static_cast<size_t>(Little16(b + 26)) + Little16(b + 28);
}

size_t CentralVariableLength(const unsigned char* b) {
    return static_cast<size_t>(Little16(b + 28)) + Little16(b + 30) + Little16(b + 32);
}

// Whether a stored entry's data [from, end), keeping `keep` of its pairs, gives its CRC-32
// one way (nothing is kept here).
bool StoredDataPasses(const ZipEntry* e, unsigned long long from, unsigned long long end, unsigned long long keep) {
    static KeptPairs scratch;
    scratch.count = 0;
    if (e->method != ZipStored || (e->flags & ZipFlagEncrypted)) return false;
    if (!ListSpanPairs(Z.window.picked, from, end, SpanCrcZlib, 0, &Z.pairs)) return false;
    if (keep == 0) return Z.pairs.noneKept == e->crc;
    return FindKeptPairs(&Z.pairs, static_cast<size_t>(keep), e->crc, SpanWaysCrc32, &scratch) == SpanOneWay;
}

// A local entry at w->at, its header read the one way whose data ends where a record
// starts; where several do, the one way whose stored data then gives its CRC-32, or
// else the plain repair's: false when the walk cannot go on.
bool LocalEntry(ZipWalk* w, KeptPairs* kept) {
    static RecordWays ways;
    const unsigned long long offset = w->at - w->removed;
    if (!ReadRecordWays(w->at, ZipLocalSize, LocalVariableLength, &ways)) return false;
    size_t chosen = ways.count, fits = 0, passing = 0;
    Reading descriptor;
    ZipEntry e;
    unsigned long long end = 0, pairs = 0;
    for (size_t i = 0; i < ways.count; ++i) {
        ZipEntry here = LocalFields(ways.fixed[i].bytes);
        unsigned long long hereEnd = 0, herePairs = 0;
        const unsigned long long from = ways.variable[i].to;
        if (!FindEntryEnd(from, &here, &hereEnd, &herePairs, &descriptor)) continue;
        const bool first = fits++ == 0;
        const bool passes = ways.count > 1 &&
                            StoredDataPasses(&here, from, hereEnd, here.packed - (hereEnd - from - herePairs));
        if (passes) ++passing;
        if (first || (passes && passing == 1)) {
            chosen = i;
            e = here;
            end = hereEnd;
            pairs = herePairs;
        }
    }
    if (fits == 0 || passing > 1) return false;
    if (!TakeReading(w, &ways.fixed[chosen], kept) || !TakeReading(w, &ways.variable[chosen], kept)) return false;
    if ((e.flags & ZipFlagSizesAfter) && !FindEntryEnd(w->at, &e, &end, &pairs, &descriptor)) return false;
    const unsigned long long keep = e.packed - (end - w->at - pairs);
    const unsigned long long print = EntryFingerprint(offset, e.crc, e.packed, e.size, e.method, e.nameLength);
    if (w->locals < ZipMaxPrints) Z.prints[w->locals] = print;
    w->localSum += print;
    ++w->locals;
    DecideData(w, &e, end, keep, kept);
    w->removed += pairs - keep;
    w->at = end;
    return !(e.flags & ZipFlagSizesAfter) || TakeReading(w, &descriptor, kept);
}

// Whether a local entry has this fingerprint (past ZipMaxPrints entries, only the sums tell).
bool IsLocalPrint(const ZipWalk* w, unsigned long long print) {
    if (w->locals > ZipMaxPrints) return true;
    const unsigned long long* begin = Z.prints;
    return std::binary_search(begin, begin + w->locals, print);
}

// A directory entry, read the plain repair's way where a record follows it and its local
// entry was found, else the one other way that does.
bool CentralEntry(ZipWalk* w, KeptPairs* kept) {
    static RecordWays ways;
    if (!ReadRecordWays(w->at, ZipCentralSize, CentralVariableLength, &ways)) return false;
    size_t chosen = ways.count, fits = 0;
    unsigned long long print = 0;
    for (size_t i = 0; i < ways.count && fits < 2; ++i) {
        const unsigned char* b = ways.fixed[i].bytes;
        const unsigned long packed = Little32(b + 20), size = Little32(b + 24), offset = Little32(b + 42);
        if (packed == ZipNoSize || size == ZipNoSize || offset == ZipNoSize) continue;
        const unsigned long long herePrint =
            EntryFingerprint(offset, Little32(b + 16), packed, size, Little16(b + 10), Little16(b + 28));
        if (!IsLocalPrint(w, herePrint) || !RecordFollows(ways.variable[i].to)) continue;
        if (fits++ == 0) {
            chosen = i;
            print = herePrint;
        }
        if (i == 0) break;
    }
    if (fits != 1 || !TakeReading(w, &ways.fixed[chosen], kept) || !TakeReading(w, &ways.variable[chosen], kept))
        return false;
    w->centralSum += print;
    ++w->centrals;
    return true;
}

// The end record at w->at, read the one way that agrees with the directory found; then
// its comment.
bool EndRecord(ZipWalk* w, unsigned long long centralOffset, KeptPairs* kept) {
    const unsigned long long endOffset = w->at - w->removed;
    if (w->localSum != w->centralSum || w->locals != w->centrals) return false;
    if (!ReadOriginalAhead(Z.window.picked, w->at, ZipEndSize, &Z.fixed)) return false;
    const Reading* fits = nullptr;
    for (size_t i = 0; i < Z.fixed.count; ++i) {
        const unsigned char* b = Z.fixed.way[i].bytes;
        if (Little16(b + 10) != w->centrals || Little32(b + 12) != endOffset - centralOffset ||
            Little32(b + 16) != centralOffset)
            continue;
        if (fits) return false;  // two ways agree: nothing says which
        fits = &Z.fixed.way[i];
    }
    if (!fits || !TakeReading(w, fits, kept)) return false;
    const unsigned long long size = Z.window.picked->size, comment = Little16(fits->bytes + 20);
    const unsigned long long left = size - w->at, pairs = CountPairs(w->at, size);
    if (comment > left || left - pairs > comment) return false;
    const unsigned long long keep = comment - (left - pairs);
    if (keep == 0) return true;
    w->evidence = true;
    if (keep < pairs) {
        w->undecided = true;  // nothing checks a comment's bytes
        return true;
    }
    for (unsigned long long at = w->at; at + 1 < size; ++at)
        if (PairAt(&Z.window, at) && !KeepPair(kept, at)) w->undecided = true;
    return true;
}

bool FeedZipCheck(void* check, const unsigned char* bytes, size_t n) {
    return CheckZipBytes(static_cast<ZipCheck*>(check), bytes, n);
}

// Decided only where the check passes the bytes that would be written.
SearchVerdict Verdict(const ZipWalk* w, bool walked, const KeptPairs* kept) {
    if (!w->evidence) return SearchNoEvidence;
    if (!walked || w->unfit || w->undecided) return SearchUndecided;
    static ZipCheck check;
    StartZipCheck(&check);
    const bool fed = FeedKeeping(Z.window.picked, kept, FeedZipCheck, &check);
    return fed && FinishZipCheck(&check) != CheckFailed ? SearchDecided : SearchUndecided;
}

}  // namespace

SearchVerdict SearchZipKeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    OpenPickedWindow(&Z.window, picked);
    ZipWalk w;
    std::memset(&w, 0, sizeof w);
    w.inflateBudget = DeflateFileBudget;
    while (SignatureAt(w.at, 3, 4))
        if (!LocalEntry(&w, kept)) return Verdict(&w, false, kept);
    const unsigned long long centralOffset = w.at - w.removed;
    std::sort(Z.prints, Z.prints + (w.locals < ZipMaxPrints ? w.locals : ZipMaxPrints));
    while (SignatureAt(w.at, 1, 2))
        if (!CentralEntry(&w, kept)) return Verdict(&w, false, kept);
    if (!SignatureAt(w.at, 5, 6)) return Verdict(&w, false, kept);
    return Verdict(&w, EndRecord(&w, centralOffset, kept), kept);
}

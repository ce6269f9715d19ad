// The tree of ways through deflated data with CR LF pairs (see deflate_search.h).
#include "deflate_search.h"

#include <algorithm>
#include <cstring>

static void* TakeFromArena(void* opaque, uInt items, uInt size) {
    InflateArena* arena = static_cast<InflateArena*>(opaque);
    const size_t want = (static_cast<size_t>(items) * size + 15) & ~static_cast<size_t>(15);
    if (items == 0 || size > InflateArenaSize / items || want > InflateArenaSize - arena->used) return Z_NULL;
    void* given = arena->bytes + arena->used;
    arena->used += want;
    return given;
}

static void GiveBackToArena(void*, void*) {}

void UseInflateArena(z_stream* stream, InflateArena* arena) {
    arena->used = 0;
    stream->zalloc = TakeFromArena;
    stream->zfree = GiveBackToArena;
    stream->opaque = arena;
}

// The search's streams live at once along one path of the tree: the one with every CR
// dropped and one copy per CR kept. Each takes one slot, its own small arena.
const size_t SearchStreams = MaxDeflateKept + 1;

struct Branch {
    z_stream stream;
    unsigned long crc;       // of what was inflated
    unsigned long long out;  // bytes inflated
    unsigned long long at;   // the next byte of the picked file to feed
    DeflateWay way;
    PickedWindow* window;    // where its bytes are read (a settling branch reads ahead of the root)
    unsigned long segCrc;    // of what was inflated since the last mark
    unsigned long long segOut;
};

// What keeping one pair's CR alone does to the inflated length. Inflate falls back into
// step a few codes after a byte it did not expect (Huffman codes mostly find their way
// again), so a wrong way often inflates to the end; but the length each pair changes is
// its own, and where two pairs lie apart their changes add up. So the ways of keeping
// two CRs worth inflating are those whose two lengths add up to the stated one.
const size_t MaxLengthGuides = 1 << 14;
struct LengthGuide {
    long long change;          // inflated bytes more than with every CR dropped
    unsigned long long crAt;
};

static bool ByChange(const LengthGuide& a, const LengthGuide& b) {
    return a.change < b.change || (a.change == b.change && a.crAt < b.crAt);
}

// The way with every CR dropped, as it stood at each mark: the bytes inflated so far
// and their CRC-32, and the CRC-32 of those since the mark before.
const size_t MaxDeflateMarks = 1 << 14;
struct Mark {
    unsigned long long out;
    unsigned long crc, segCrc;
};

// What keeping one pair's CR does, once its branch inflates the same bytes as the way
// with every CR dropped (from the mark at `settled` on): the inflated length changes by
// `change`; `end` is the CRC-32 change as seen at that way's end, `early` the same
// change seen where a second CR's `change` more were still to come. `whole`: the
// branch ended its stream before it settled (early then means nothing).
const size_t MaxSettledPairs = 1 << 13;
struct Settled {
    unsigned long long crAt, settled;
    long long change;
    unsigned long end, early;
    bool whole, earlyKnown;
};

static bool BySettledChange(const Settled& a, const Settled& b) {
    if (a.change != b.change) return a.change < b.change;
    if (a.end != b.end) return a.end < b.end;
    return a.crAt < b.crAt;
}

static struct {
    const DeflateGoal* goal;
    DeflateFound* found;
    unsigned long long size;  // of the picked file
    PickedWindow window;
    InflateArena slots[SearchStreams];
    unsigned char inflated[1 << 15];
    unsigned maxKept;                 // CRs a way may keep in this pass
    const unsigned long long* forced; // a way tried whole: these CRs kept, no branches
    size_t forcedCount;
    bool noneEnded;                   // the way with every CR dropped reached its stream's end
    unsigned long long noneOut;       // inflating to this many bytes
    size_t guides;
    LengthGuide guide[MaxLengthGuides];
    // The settling search: marks every markStep bytes from goal->from, the way with
    // every CR dropped ending at rootEnd, inflated to rootOut bytes of CRC rootCrc.
    unsigned long long markStep;
    size_t marks;
    Mark mark[MaxDeflateMarks];
    unsigned long long rootEnd, rootOut;
    unsigned long rootCrc;
    unsigned long statedCrc;  // the CRC-32 and length change the way must have
    long long statedChange;
    size_t settledCount;
    bool someUnsettled;       // a branch that did not settle: ways past those tried
    Settled settled[MaxSettledPairs];
    PickedWindow branchWindow;
    Branch root, branch;
} S;

enum Fed { FedAll, FedStreamEnd, FedBroken, FedFailed };  // broken: inflate refused the bytes

static bool OutOfBudget(size_t more) {
    S.found->fed += more;
    if (S.found->fed <= S.goal->budget && S.found->fed <= DeflateStreamBudget) return false;
    S.found->capped = true;
    return true;
}

// Feeds [from, to) of the picked file to the branch; at the stream's end, *end is where it ended.
static Fed Feed(Branch* b, unsigned long long from, unsigned long long to, unsigned long long* end) {
    unsigned long long at = from;
    while (at < to) {
        const unsigned long long left = to - at;
        const size_t n = left < PickedWindowSize / 2 ? static_cast<size_t>(left) : PickedWindowSize / 2;
        const unsigned char* bytes = PickedAt(b->window, at, n);
        if (!bytes || OutOfBudget(n)) return FedFailed;
        b->stream.next_in = const_cast<unsigned char*>(bytes);
        b->stream.avail_in = static_cast<uInt>(n);
        do {
            b->stream.next_out = S.inflated;
            b->stream.avail_out = sizeof S.inflated;
            const int result = inflate(&b->stream, Z_NO_FLUSH);
            const size_t made = sizeof S.inflated - b->stream.avail_out;
            b->crc = crc32(b->crc, S.inflated, static_cast<uInt>(made));
            b->segCrc = crc32(b->segCrc, S.inflated, static_cast<uInt>(made));
            b->out += made;
            b->segOut += made;
            if (S.forced && S.goal->end == DeflateEndZip && b->out > S.goal->inflated) return FedBroken;
            if (result == Z_STREAM_END) {
                *end = at + (n - b->stream.avail_in);
                return FedStreamEnd;
            }
            if (result != Z_OK && result != Z_BUF_ERROR) return FedBroken;
            if (result == Z_BUF_ERROR && b->stream.avail_in > 0 && made == 0) return FedBroken;
        } while (b->stream.avail_in > 0 || b->stream.avail_out == 0);
        at += n;
    }
    return FedAll;
}

// The CR of the next pair lying wholly in [from, to), or to.
static unsigned long long NextPairIn(PickedWindow* window, unsigned long long from, unsigned long long to) {
    unsigned long long at = from;
    while (at + 1 < to) {
        const unsigned long long left = to - at;
        const size_t n = left < PickedWindowSize / 2 ? static_cast<size_t>(left) : PickedWindowSize / 2;
        const unsigned char* bytes = PickedAt(window, at, n);
        if (!bytes) return to;
        const void* cr = std::memchr(bytes, 0x0D, n);
        if (!cr) {
            at += n;
            continue;
        }
        const unsigned long long crAt = at + static_cast<size_t>(static_cast<const unsigned char*>(cr) - bytes);
        if (crAt + 1 < to && PickedByte(window, crAt + 1) == 0x0A) return crAt;
        at = crAt + 1;
    }
    return to;
}

static unsigned long long NextPair(unsigned long long from, unsigned long long to) {
    return NextPairIn(&S.window, from, to);
}

// Whether the picked bytes from at read as the n bytes of want, each pair's CR kept or
// dropped as want needs; the CRs kept go to way, *after is where the reading ended.
static bool ReadsAs(unsigned long long at, const unsigned char* want, size_t n, DeflateWay* way,
                    unsigned long long* after) {
    for (size_t i = 0; i < n; ++at) {
        const int byte = PickedByte(&S.window, at);
        if (byte < 0) return false;
        const bool pairCr = byte == 0x0D && PickedByte(&S.window, at + 1) == 0x0A;
        if (pairCr && want[i] == 0x0A) continue;  // a CR the damage put there
        if (byte != want[i]) return false;
        if (pairCr) {
            if (way->count == MaxDeflateWayKept) return false;
            way->kept[way->count++] = at;
        }
        ++i;
    }
    *after = at;
    return true;
}

static bool GzipMemberEnds(const Branch* b, unsigned long long end, DeflateWay* way) {
    unsigned char trailer[8];
    for (int i = 0; i < 4; ++i) {
        trailer[i] = static_cast<unsigned char>(b->crc >> (8 * i));
        trailer[4 + i] = static_cast<unsigned char>(b->out >> (8 * i));
    }
    unsigned long long after = 0;
    if (!ReadsAs(end, trailer, sizeof trailer, way, &after)) return false;
    if (b->way.count == 0) S.found->noneKeptTrailer = true;
    way->memberEnd = after;
    if (after == S.size) return true;
    const unsigned char* next = PickedAt(&S.window, after, 3);
    return next && next[0] == 0x1F && next[1] == 0x8B && next[2] == 0x08;
}

// The inflated length of a way keeping none or one CR, for the ways keeping two.
static void NoteLength(const Branch* b) {
    if (S.forced) return;
    if (b->way.count == 0) {
        S.noneEnded = true;
        S.noneOut = b->out;
    } else if (b->way.count == 1 && S.guides < MaxLengthGuides) {
        S.guide[S.guides].change = static_cast<long long>(b->out);  // made a change once noneOut is known
        S.guide[S.guides++].crAt = b->way.kept[0];
    }
}

static void StreamEnded(const Branch* b, unsigned long long end) {
    const DeflateGoal* goal = S.goal;
    NoteLength(b);
    DeflateWay way = b->way;
    bool passes;
    if (goal->end == DeflateEndZip)
        passes = end == goal->to && b->out == goal->inflated && b->crc == goal->crc && way.count == goal->keep;
    else
        passes = GzipMemberEnds(b, end, &way);
    if (!passes) return;
    DeflateFound* found = S.found;
    if (way.count == 0) {
        found->noneKeptWay = true;
        found->first = way;
    } else if (found->ways == 0) {
        found->first = way;
    }
    if (found->ways < 2) ++found->ways;
}

static bool MayKeepMore(const Branch* b) {
    if (S.forced || S.found->ways >= 2) return false;  // two found: only the dropped-all way is still of use
    if (S.goal->end == DeflateEndZip && b->way.count >= S.goal->keep) return false;
    return b->way.count < S.maxKept;
}

static bool IsForced(unsigned long long crAt) {
    for (size_t i = 0; i < S.forcedCount; ++i)
        if (S.forced[i] == crAt) return true;
    return false;
}

static void Follow(Branch* b, unsigned depth);

// A copy of b that keeps the pair's CR at crAt, followed to its end.
static void KeepAndFollow(const Branch* b, unsigned long long crAt, unsigned depth) {
    static Branch branches[SearchStreams];
    Branch* kept = &branches[depth];
    std::memcpy(&kept->way, &b->way, sizeof b->way);
    kept->way.kept[kept->way.count++] = crAt;
    kept->crc = b->crc;
    kept->out = b->out;
    kept->at = crAt + 1;
    kept->window = &S.window;
    // inflateCopy allocates through the source's arena: point it at the copy's own slot.
    z_stream* source = const_cast<z_stream*>(&b->stream);
    void* sourceArena = source->opaque;
    S.slots[depth].used = 0;
    source->opaque = &S.slots[depth];
    const int copied = inflateCopy(&kept->stream, source);
    source->opaque = sourceArena;
    if (copied != Z_OK) {
        S.found->capped = true;
        return;
    }
    unsigned long long end = 0;
    const Fed fed = Feed(kept, crAt, crAt + 1, &end);
    if (fed == FedStreamEnd) StreamEnded(kept, end);
    if (fed == FedAll) Follow(kept, depth);
    (void)inflateEnd(&kept->stream);
}

static void Follow(Branch* b, unsigned depth) {
    const unsigned long long to = S.goal->to;
    bool crFirst = false;  // b->at is a kept CR: the next pair is looked for after it
    while (b->at < to && !S.found->capped) {
        const unsigned long long pair = NextPair(crFirst ? b->at + 1 : b->at, to);
        crFirst = false;
        unsigned long long end = 0;
        const Fed fed = Feed(b, b->at, pair, &end);
        if (fed == FedStreamEnd) StreamEnded(b, end);
        if (fed == FedBroken && depth == 0) S.found->droppedAllBroken = true;
        if (fed != FedAll || pair == to) return;
        if (S.forced && IsForced(pair)) {
            if (b->way.count == MaxDeflateWayKept) return;
            b->way.kept[b->way.count++] = pair;
            b->at = pair;  // the CR is fed with what follows
            crFirst = true;
            continue;
        }
        if (MayKeepMore(b) && depth + 1 < SearchStreams) KeepAndFollow(b, pair, depth + 1);
        b->at = pair + 1;  // this CR dropped
    }
}

// One pass over the ways: every CR dropped, and each way keeping up to S.maxKept
// (S.forced: the one way keeping those).
static bool StartBranch(Branch* b, InflateArena* arena);

static void Pass() {
    static Branch root;
    if (!StartBranch(&root, &S.slots[0])) {
        S.found->capped = true;
        return;
    }
    Follow(&root, 0);
    (void)inflateEnd(&root.stream);
}

// A gzip trailer's 4-byte field.
static unsigned long long Little32(const unsigned char* b) {
    return static_cast<unsigned long long>(b[0]) | static_cast<unsigned long long>(b[1]) << 8 |
           static_cast<unsigned long long>(b[2]) << 16 | static_cast<unsigned long long>(b[3]) << 24;
}

// The inflated length the file states for a gzip member ending the file: its trailer's
// last four bytes, read with every pair's CR dropped (a file of several members is
// searched one CR at a time only).
static bool StatedLength(unsigned long long* length) {
    if (S.goal->end == DeflateEndZip) {
        *length = S.goal->inflated;
        return true;
    }
    unsigned char last[4];
    unsigned long long at = S.size;
    for (size_t got = 0; got < 4; ++got) {
        if (at == 0) return false;
        const int byte = PickedByte(&S.window, --at);
        if (byte == 0x0A && at > 0 && PickedByte(&S.window, at - 1) == 0x0D) --at;
        last[3 - got] = static_cast<unsigned char>(byte);
    }
    *length = Little32(last);
    return true;
}

// The ways keeping two CRs whose length changes add up to the stated length, each
// inflated whole.
static void TryPairsByLength() {
    unsigned long long stated = 0;
    if (!S.noneEnded || !StatedLength(&stated)) return;
    const bool modulo = S.goal->end == DeflateEndGzip;  // ISIZE is the length modulo 2^32
    const long long want = modulo ? static_cast<long long>((stated - S.noneOut) & 0xFFFFFFFFULL)
                                  : static_cast<long long>(stated) - static_cast<long long>(S.noneOut);
    for (size_t i = 0; i < S.guides; ++i) S.guide[i].change -= static_cast<long long>(S.noneOut);
    std::sort(S.guide, S.guide + S.guides, ByChange);
    for (size_t i = 0; i < S.guides && !S.found->capped && S.found->ways < 2; ++i) {
        const long long rest = want - S.guide[i].change;
        const LengthGuide probe = {rest, 0};
        const LengthGuide* j = std::lower_bound(S.guide, S.guide + S.guides, probe, ByChange);
        for (; j < S.guide + S.guides && j->change == rest && S.found->ways < 2; ++j) {
            if (j->crAt <= S.guide[i].crAt) continue;
            const unsigned long long both[2] = {S.guide[i].crAt, j->crAt};
            S.forced = both;
            S.forcedCount = 2;
            Pass();
            S.forced = nullptr;
            S.forcedCount = 0;
        }
    }
}

// The settling search. A wrong byte put in or left out upsets the inflated bytes only
// for a while: a branch keeping one CR soon decodes the same codes as the way with every
// CR dropped, one byte on, and once the last 32 KiB it inflated (all a copy can reach
// back to) are the same as that way's, nothing after can differ. So each branch is
// followed only until it settles, and what it changed is kept as a length and a CRC-32
// change; crc32_combine then tells, without inflating them, the ways keeping one or two
// CRs whose whole stream has the stated length and CRC-32. Only those are inflated.
const unsigned long long SettledOut = 32 * 1024;        // inflate's window
const unsigned long long SettleReach = 256 * 1024;      // a branch followed no further
const unsigned long long MaxCombined = 0x7FFFFFFFULL;   // crc32_combine's lengths are z_off_t

static unsigned long long MarkAt(size_t i) {
    const unsigned long long at = S.goal->from + i * S.markStep;
    return at < S.goal->to ? at : S.goal->to;
}

static bool StartBranch(Branch* b, InflateArena* arena) {
    std::memset(b, 0, sizeof *b);
    UseInflateArena(&b->stream, arena);
    if (inflateInit2(&b->stream, -MAX_WBITS) != Z_OK) return false;
    b->crc = crc32(0L, Z_NULL, 0);
    b->at = S.goal->from;
    b->window = &S.window;
    return true;
}

// Feeds b up to `to`, every pair's CR before `to` dropped.
static Fed Advance(Branch* b, unsigned long long to, unsigned long long* end) {
    while (b->at < to) {
        const unsigned long long limit = to < S.goal->to ? to + 1 : to;  // a pair across `to` too
        const unsigned long long pair = NextPairIn(b->window, b->at, limit);
        const unsigned long long stop = pair < to ? pair : to;
        const Fed fed = Feed(b, b->at, stop, end);
        if (fed != FedAll) return fed;
        b->at = stop < to ? stop + 1 : to;
    }
    return FedAll;
}

// The way with every CR dropped, inflated whole, its length and CRC-32 noted at each
// mark. False where it is no stream that ends (today's search then decides).
static bool MarkRoot() {
    const unsigned long long length = S.goal->to - S.goal->from;
    const unsigned long long perMark = (MaxDeflateMarks - 2) * 1024ULL;
    S.markStep = 1024 * (length / perMark + 1);
    Branch* root = &S.root;
    if (!StartBranch(root, &S.slots[0])) {
        S.found->capped = true;
        return false;
    }
    S.mark[0] = {0, root->crc, root->crc};
    S.marks = 1;
    bool ended = false;
    Fed fed = FedAll;
    while (!ended && S.marks < MaxDeflateMarks && MarkAt(S.marks - 1) < S.goal->to) {
        root->segCrc = crc32(0L, Z_NULL, 0);
        root->segOut = 0;
        unsigned long long end = 0;
        fed = Advance(root, MarkAt(S.marks), &end);
        if (fed == FedBroken) S.found->droppedAllBroken = true;
        if (fed == FedBroken || fed == FedFailed) break;
        if (fed == FedStreamEnd) {
            StreamEnded(root, end);
            S.rootEnd = end;
            ended = true;
        }
        S.mark[S.marks++] = {root->out, root->crc, root->segCrc};
    }
    (void)inflateEnd(&root->stream);
    if (!ended && fed == FedAll && MarkAt(S.marks - 1) >= S.goal->to) S.found->noneKeptCutShort = true;
    if (!ended) return false;
    S.rootOut = root->out;
    S.rootCrc = root->crc;
    return S.rootOut <= MaxCombined;
}

// The CRC-32 and the length the way must have: ZIP's directory; gzip's trailer after
// where the way with every CR dropped ended (a way settled ends there too), its pairs'
// CRs dropped.
static bool StatedEnd() {
    unsigned long long length = 0;
    if (S.goal->end == DeflateEndZip) {
        S.statedCrc = S.goal->crc;
        length = S.goal->inflated;
    } else {
        unsigned char trailer[8];
        unsigned long long at = S.rootEnd;
        for (unsigned char& byte : trailer) {
            int read = PickedByte(&S.window, at);
            if (read == 0x0D && PickedByte(&S.window, at + 1) == 0x0A) read = PickedByte(&S.window, ++at);
            if (read < 0) return false;
            byte = static_cast<unsigned char>(read);
            ++at;
        }
        S.statedCrc = static_cast<unsigned long>(Little32(trailer));
        const unsigned long long isize = Little32(trailer + 4);
        // ISIZE is the length modulo 2^32: the nearest length to the dropped-all one
        const unsigned long long ahead = (isize - S.rootOut) & 0xFFFFFFFFULL;
        length = ahead < 0x80000000ULL ? S.rootOut + ahead : S.rootOut - (0x100000000ULL - ahead);
        if (ahead >= 0x80000000ULL && 0x100000000ULL - ahead > S.rootOut) return false;
    }
    if (length > MaxCombined) return false;
    S.statedChange = static_cast<long long>(length) - static_cast<long long>(S.rootOut);
    return true;
}

// The CRC-32 change `change` (the XOR of two CRC-32s of equally long bytes) seen `after`
// bytes later.
static unsigned long Later(unsigned long change, unsigned long long after) {
    return after == 0 ? change : crc32_combine(change, 0, static_cast<z_off_t>(after));
}

// Notes what the branch at crAt changed: its CRC-32 was `crc` where the dropped-all way
// had inflated mark `m`'s bytes and it `out` bytes.
static void NoteSettled(unsigned long long crAt, size_t m, unsigned long crc, unsigned long long out, bool whole) {
    if (S.settledCount == MaxSettledPairs) {
        S.someUnsettled = true;
        return;
    }
    const Mark* at = whole ? &S.mark[S.marks - 1] : &S.mark[m];
    Settled* s = &S.settled[S.settledCount++];
    s->crAt = crAt;
    s->settled = whole ? S.goal->to : MarkAt(m);
    s->change = static_cast<long long>(out) - static_cast<long long>(at->out);
    s->whole = whole;
    const unsigned long change = crc ^ at->crc;
    s->end = Later(change, S.rootOut - at->out);
    // Kept with a second CR after: the bytes after this one's are the rest of the
    // stated length, less what this one changed.
    const long long after = static_cast<long long>(S.rootOut - at->out) + S.statedChange - s->change;
    s->earlyKnown = !whole && after >= 0;
    s->early = s->earlyKnown ? Later(change, static_cast<unsigned long long>(after)) : 0;
}

// Follows a copy of root (fed up to the pair at crAt) keeping that CR, mark to mark,
// until the bytes it inflated since SettledOut ago match the dropped-all way's.
static void Settle(const Branch* root, unsigned long long crAt) {
    Branch* b = &S.branch;
    z_stream* source = const_cast<z_stream*>(&root->stream);
    S.slots[1].used = 0;
    source->opaque = &S.slots[1];
    const int copied = inflateCopy(&b->stream, source);
    source->opaque = &S.slots[0];
    if (copied != Z_OK) {
        S.found->capped = true;
        return;
    }
    b->crc = root->crc;
    b->out = root->out;
    b->window = &S.branchWindow;
    b->way.count = 1;
    b->way.kept[0] = crAt;
    unsigned long long end = 0;
    Fed fed = Feed(b, crAt, crAt + 1, &end);
    b->at = crAt + 1;
    size_t m = static_cast<size_t>((crAt + 1 - S.goal->from) / S.markStep) + 1;
    size_t runFrom = 0;
    unsigned long runCrc = 0;
    unsigned long long runOut = 0, matched = 0;
    unsigned runs = 0;
    bool done = false;
    while (fed == FedAll && !done) {
        if (b->at - crAt > SettleReach || b->at >= S.goal->to) {
            S.someUnsettled = true;
            break;
        }
        const bool marked = m + 1 < S.marks;  // the last mark is where the root ended
        const bool full = marked && MarkAt(m - 1) >= crAt + 1;  // a segment the root inflated whole
        const unsigned long fromCrc = b->crc;
        const unsigned long long fromOut = b->out;
        b->segCrc = crc32(0L, Z_NULL, 0);
        b->segOut = 0;
        const unsigned long long to = marked ? MarkAt(m) : b->at + S.markStep;
        fed = Advance(b, to < S.goal->to ? to : S.goal->to, &end);
        if (fed == FedStreamEnd) {
            StreamEnded(b, end);  // the way keeping this CR alone, tried whole
            NoteSettled(crAt, 0, b->crc, b->out, true);
        }
        if (fed != FedAll) break;
        if (full && b->segOut == S.mark[m].out - S.mark[m - 1].out && b->segCrc == S.mark[m].segCrc) {
            if (runs++ == 0) {
                runFrom = m - 1;
                runCrc = fromCrc;
                runOut = fromOut;
                matched = 0;
            }
            matched += b->segOut;
            if (runs >= 2 && matched >= SettledOut) {
                NoteSettled(crAt, runFrom, runCrc, runOut, false);
                done = true;
            }
        } else {
            runs = 0;
        }
        ++m;
    }
    (void)inflateEnd(&b->stream);
}

// The dropped-all way inflated again, a branch settled at each pair before its end.
static void SettleEachPair() {
    Branch* root = &S.root;
    if (!StartBranch(root, &S.slots[0])) {
        S.found->capped = true;
        return;
    }
    while (!S.found->capped && S.found->ways < 2) {
        const unsigned long long pair = NextPair(root->at, S.rootEnd + 1);
        if (pair >= S.rootEnd) break;
        unsigned long long end = 0;
        if (Feed(root, root->at, pair, &end) != FedAll) break;
        Settle(root, pair);
        root->at = pair + 1;
    }
    (void)inflateEnd(&root->stream);
}

static void TryWay(const unsigned long long* kept, size_t count) {
    S.forced = kept;
    S.forcedCount = count;
    Pass();
    S.forced = nullptr;
    S.forcedCount = 0;
}

// The ways whose settled changes add up to the stated length and CRC-32, inflated whole.
static void TryAddingUp() {
    const bool one = S.goal->end == DeflateEndGzip || S.goal->keep == 1;
    const bool two = S.goal->end == DeflateEndGzip || S.goal->keep == 2;
    const unsigned long want = S.statedCrc ^ S.rootCrc;  // the CRC-32 change the way makes
    for (size_t i = 0; one && i < S.settledCount && !S.found->capped && S.found->ways < 2; ++i) {
        const Settled* s = &S.settled[i];
        if (!s->whole && s->change == S.statedChange && s->end == want) TryWay(&s->crAt, 1);
    }
    if (!two) return;
    std::sort(S.settled, S.settled + S.settledCount, BySettledChange);
    Settled* const last = S.settled + S.settledCount;
    for (size_t i = 0; i < S.settledCount && !S.found->capped && S.found->ways < 2; ++i) {
        const Settled* first = &S.settled[i];
        if (!first->earlyKnown) continue;
        Settled probe = {};
        probe.change = S.statedChange - first->change;
        probe.end = want ^ first->early;
        const Settled* second = std::lower_bound(S.settled, last, probe, BySettledChange);
        for (; second < last && second->change == probe.change && second->end == probe.end; ++second) {
            if (second->crAt < first->settled || S.found->ways >= 2 || S.found->capped) continue;
            const unsigned long long both[2] = {first->crAt, second->crAt};
            TryWay(both, 2);
        }
    }
}

// True where the settling search has its answer: a way found, or the budget gone.
static bool SearchSettling() {
    S.settledCount = 0;
    S.someUnsettled = false;
    if (!MarkRoot()) return S.found->capped;
    if (S.found->noneKeptWay || (S.goal->end == DeflateEndZip && S.goal->keep == 0)) return true;
    if (!StatedEnd()) return false;
    SettleEachPair();
    TryAddingUp();
    return S.found->ways > 0 || S.found->capped;
}

void SearchDeflated(const PickedBytes* picked, const DeflateGoal* goal, DeflateFound* found) {
    std::memset(found, 0, sizeof *found);
    S.goal = goal;
    S.found = found;
    S.size = picked->size;
    S.forced = nullptr;
    S.forcedCount = 0;
    S.noneEnded = false;
    S.guides = 0;
    OpenPickedWindow(&S.window, picked);
    if (goal->from > goal->to || goal->to > picked->size) {
        found->capped = true;
        return;
    }
    OpenPickedWindow(&S.branchWindow, picked);
    if (SearchSettling()) return;
    // The way with every CR dropped met bytes inflate refuses, or no way settled adds up:
    // every way keeping one CR, tried whole.
    S.guides = 0;  // the settling search's whole branches are noted again, once
    S.noneEnded = false;
    const unsigned wanted = goal->end == DeflateEndZip ? goal->keep : MaxDeflateKept;
    S.maxKept = wanted < 1 ? wanted : 1;
    Pass();
    if (found->ways > 0 || found->capped || wanted < 2) return;
    TryPairsByLength();
    if (found->ways > 0 || found->capped) return;
    // No length to go by (inflate refused the bytes with every CR dropped, or with one
    // kept) or none that adds up: every way keeping two, as far as the budget goes.
    S.maxKept = wanted;
    Pass();
}

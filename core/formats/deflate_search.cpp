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
        const unsigned char* bytes = PickedAt(&S.window, at, n);
        if (!bytes || OutOfBudget(n)) return FedFailed;
        b->stream.next_in = const_cast<unsigned char*>(bytes);
        b->stream.avail_in = static_cast<uInt>(n);
        do {
            b->stream.next_out = S.inflated;
            b->stream.avail_out = sizeof S.inflated;
            const int result = inflate(&b->stream, Z_NO_FLUSH);
            const size_t made = sizeof S.inflated - b->stream.avail_out;
            b->crc = crc32(b->crc, S.inflated, static_cast<uInt>(made));
            b->out += made;
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
static unsigned long long NextPair(unsigned long long from, unsigned long long to) {
    unsigned long long at = from;
    while (at + 1 < to) {
        const unsigned long long left = to - at;
        const size_t n = left < PickedWindowSize / 2 ? static_cast<size_t>(left) : PickedWindowSize / 2;
        const unsigned char* bytes = PickedAt(&S.window, at, n);
        if (!bytes) return to;
        const void* cr = std::memchr(bytes, 0x0D, n);
        if (!cr) {
            at += n;
            continue;
        }
        const unsigned long long crAt = at + static_cast<size_t>(static_cast<const unsigned char*>(cr) - bytes);
        if (crAt + 1 < to && PickedByte(&S.window, crAt + 1) == 0x0A) return crAt;
        at = crAt + 1;
    }
    return to;
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
static void Pass() {
    static Branch root;
    std::memset(&root, 0, sizeof root);
    UseInflateArena(&root.stream, &S.slots[0]);
    if (inflateInit2(&root.stream, -MAX_WBITS) != Z_OK) {
        S.found->capped = true;
        return;
    }
    root.crc = crc32(0L, Z_NULL, 0);
    root.at = S.goal->from;
    Follow(&root, 0);
    (void)inflateEnd(&root.stream);
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
    *length = static_cast<unsigned long long>(last[0]) | last[1] << 8 | last[2] << 16 |
              static_cast<unsigned long long>(last[3]) << 24;
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

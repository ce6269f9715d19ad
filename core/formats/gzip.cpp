// gzip walker. Checks, member after member, back to back to the file's end:
//   ID1 ID2 CM        1F 8B 08
//   FLG               no reserved bit (E0) set
//   MTIME XFL OS      6 bytes, any
//   FEXTRA            XLEN (2 bytes), then XLEN bytes, all in the file
//   FNAME, FCOMMENT   each ends with a zero byte before the file does
//   FHCRC             the low 16 bits of the header's CRC-32
//   deflated data     inflates whole (raw inflate), ending where the trailer starts
//   CRC32 ISIZE       CRC-32 of the inflated bytes, and their count modulo 2^32
// Only the first GzipCheckedBytes of a file are inflated in the repair's pass; a larger
// file is unsure.
#include "gzip.h"

#include <cstring>

enum GzipPhase {
    GzipFixedHeader,
    GzipExtraLength,
    GzipExtra,
    GzipName,
    GzipComment,
    GzipHeaderCrc,
    GzipData,
    GzipTrailer,
    GzipBetweenMembers,
};

const unsigned GzipFlagHeaderCrc = 0x02, GzipFlagExtra = 0x04, GzipFlagName = 0x08, GzipFlagComment = 0x10;
const unsigned GzipFlagsReserved = 0xE0;

static unsigned long Little32(const unsigned char* b) {
    return static_cast<unsigned long>(b[0]) | static_cast<unsigned long>(b[1]) << 8 |
           static_cast<unsigned long>(b[2]) << 16 | static_cast<unsigned long>(b[3]) << 24;
}

void StartGzipCheck(GzipCheck* check) {
    std::memset(check, 0, sizeof *check);
    check->phase = GzipFixedHeader;
    check->headerCrc = crc32(0L, Z_NULL, 0);
}

// Gathers a fixed-size field across blocks: true once all `size` bytes are in check->field.
static bool Gather(GzipCheck* check, size_t size, const unsigned char** bytes, size_t* n) {
    const size_t take = size - check->have < *n ? size - check->have : *n;
    std::memcpy(check->field + check->have, *bytes, take);
    check->have += take;
    *bytes += take;
    *n -= take;
    return check->have == size;
}

static void HeaderBytes(GzipCheck* check, const unsigned char* bytes, size_t n) {
    check->headerCrc = crc32(check->headerCrc, bytes, static_cast<uInt>(n));
}

// The header field after `after`, as the member's flags say.
static unsigned PhaseAfter(unsigned flags, unsigned after) {
    if (after < GzipExtraLength && (flags & GzipFlagExtra)) return GzipExtraLength;
    if (after < GzipName && (flags & GzipFlagName)) return GzipName;
    if (after < GzipComment && (flags & GzipFlagComment)) return GzipComment;
    if (after < GzipHeaderCrc && (flags & GzipFlagHeaderCrc)) return GzipHeaderCrc;
    return GzipData;
}

static bool StartInflate(GzipCheck* check) {
    check->crc = crc32(0L, Z_NULL, 0);
    check->inflated = 0;
    if (check->streamOpen) return inflateReset(&check->stream) == Z_OK;
    UseInflateArena(&check->stream, &check->arena);
    check->streamOpen = inflateInit2(&check->stream, -MAX_WBITS) == Z_OK;
    return check->streamOpen;
}

static bool EnterPhase(GzipCheck* check, unsigned phase) {
    check->phase = phase;
    check->have = 0;
    return phase != GzipData || StartInflate(check);
}

static bool FixedHeader(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    const unsigned char* start = *bytes;
    const bool whole = Gather(check, 10, bytes, n);
    HeaderBytes(check, start, static_cast<size_t>(*bytes - start));
    if (!whole) return true;
    const unsigned char* f = check->field;
    if (f[0] != 0x1F || f[1] != 0x8B || f[2] != 0x08 || (f[3] & GzipFlagsReserved)) return false;
    check->flags = f[3];
    return EnterPhase(check, PhaseAfter(check->flags, GzipFixedHeader));
}

static bool ExtraLength(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    const unsigned char* start = *bytes;
    const bool whole = Gather(check, 2, bytes, n);
    HeaderBytes(check, start, static_cast<size_t>(*bytes - start));
    if (!whole) return true;
    check->skip = check->field[0] | static_cast<unsigned>(check->field[1]) << 8;
    check->phase = GzipExtra;
    return true;
}

static bool Extra(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    const size_t take = check->skip < *n ? static_cast<size_t>(check->skip) : *n;
    HeaderBytes(check, *bytes, take);
    *bytes += take;
    *n -= take;
    check->skip -= take;
    return check->skip > 0 || EnterPhase(check, PhaseAfter(check->flags, GzipExtra));
}

// FNAME or FCOMMENT: up to and with its zero byte.
static bool ZeroEnded(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    const void* zero = std::memchr(*bytes, 0, *n);
    const size_t take = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - *bytes) + 1 : *n;
    HeaderBytes(check, *bytes, take);
    *bytes += take;
    *n -= take;
    return !zero || EnterPhase(check, PhaseAfter(check->flags, check->phase));
}

static bool HeaderCrc(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    if (!Gather(check, 2, bytes, n)) return true;
    const unsigned stated = check->field[0] | static_cast<unsigned>(check->field[1]) << 8;
    return stated == (check->headerCrc & 0xFFFF) && EnterPhase(check, GzipData);
}

static bool Data(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    static unsigned char inflated[1 << 15];
    z_stream* stream = &check->stream;
    stream->next_in = const_cast<unsigned char*>(*bytes);
    stream->avail_in = static_cast<uInt>(*n);
    int result = Z_OK;
    do {
        stream->next_out = inflated;
        stream->avail_out = sizeof inflated;
        result = inflate(stream, Z_NO_FLUSH);
        const size_t made = sizeof inflated - stream->avail_out;
        check->crc = crc32(check->crc, inflated, static_cast<uInt>(made));
        check->inflated += made;
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return false;
        if (result == Z_BUF_ERROR && stream->avail_in > 0 && made == 0) return false;  // no way on
    } while (result != Z_STREAM_END && (stream->avail_in > 0 || stream->avail_out == 0));
    *bytes += *n - stream->avail_in;
    *n = stream->avail_in;
    return result != Z_STREAM_END || EnterPhase(check, GzipTrailer);
}

static bool Trailer(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    if (!Gather(check, 8, bytes, n)) return true;
    if (Little32(check->field) != check->crc || Little32(check->field + 4) != (check->inflated & 0xFFFFFFFFUL))
        return false;
    check->phase = GzipBetweenMembers;
    return true;
}

static bool NextMember(GzipCheck* check) {
    check->have = 0;
    check->phase = GzipFixedHeader;
    check->headerCrc = crc32(0L, Z_NULL, 0);
    return true;
}

static bool Step(GzipCheck* check, const unsigned char** bytes, size_t* n) {
    switch (check->phase) {
        case GzipFixedHeader: return FixedHeader(check, bytes, n);
        case GzipExtraLength: return ExtraLength(check, bytes, n);
        case GzipExtra: return Extra(check, bytes, n);
        case GzipName:
        case GzipComment: return ZeroEnded(check, bytes, n);
        case GzipHeaderCrc: return HeaderCrc(check, bytes, n);
        case GzipData: return Data(check, bytes, n);
        case GzipTrailer: return Trailer(check, bytes, n);
        case GzipBetweenMembers: return NextMember(check);
    }
    return false;
}

static void EndInflate(GzipCheck* check) {
    if (check->streamOpen) (void)inflateEnd(&check->stream);
    check->streamOpen = false;
}

bool CheckGzipBytes(GzipCheck* check, const unsigned char* bytes, size_t n) {
    if (check->gaveUp) return true;
    if (n > GzipCheckedBytes - check->fed) {
        check->gaveUp = true;
        EndInflate(check);
        return true;
    }
    check->fed += n;
    while (n > 0) {
        if (!Step(check, &bytes, &n)) {
            EndInflate(check);
            return false;
        }
    }
    return true;
}

CheckVerdict FinishGzipCheck(GzipCheck* check) {
    EndInflate(check);
    if (check->gaveUp) return CheckUnsure;
    return check->phase == GzipBetweenMembers ? CheckPassed : CheckFailed;
}

// The search. Each member's header is read with every pair's CR dropped (its fields are
// short: a CR LF pair of its own there is not looked for), then its deflated bytes are
// searched for the few CRs that make them inflate to the trailer's CRC and length.
static struct {
    PickedWindow window;
} G;

// The next byte of the plain repair from *at, *at moved past it; -1 at the end.
static int RepairedByte(unsigned long long* at) {
    int byte = PickedByte(&G.window, *at);
    if (byte == 0x0D && PickedByte(&G.window, *at + 1) == 0x0A) byte = PickedByte(&G.window, ++*at);
    if (byte >= 0) ++*at;
    return byte;
}

// Passes the header of the member at *at; false when it is not one.
static bool PassMemberHeader(unsigned long long* at) {
    unsigned char fixed[10];
    for (unsigned char& byte : fixed) {
        const int read = RepairedByte(at);
        if (read < 0) return false;
        byte = static_cast<unsigned char>(read);
    }
    if (fixed[0] != 0x1F || fixed[1] != 0x8B || fixed[2] != 0x08 || (fixed[3] & GzipFlagsReserved)) return false;
    const unsigned flags = fixed[3];
    if (flags & GzipFlagExtra) {
        const int low = RepairedByte(at), high = RepairedByte(at);
        if (low < 0 || high < 0) return false;
        for (unsigned left = static_cast<unsigned>(low | high << 8); left > 0; --left)
            if (RepairedByte(at) < 0) return false;
    }
    const unsigned zeroEnded[] = {GzipFlagName, GzipFlagComment};
    for (unsigned flag : zeroEnded) {
        if (!(flags & flag)) continue;
        int byte = 0;
        do byte = RepairedByte(at);
        while (byte > 0);
        if (byte < 0) return false;
    }
    if (flags & GzipFlagHeaderCrc) return RepairedByte(at) >= 0 && RepairedByte(at) >= 0;
    return true;
}

static bool FeedGzipCheck(void* check, const unsigned char* bytes, size_t n) {
    return CheckGzipBytes(static_cast<GzipCheck*>(check), bytes, n);
}

SearchVerdict SearchGzipKeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    static DeflateFound found;
    OpenPickedWindow(&G.window, picked);
    bool evidence = false;
    unsigned long long at = 0, budget = DeflateFileBudget;
    while (at < picked->size) {
        if (!PassMemberHeader(&at)) return evidence ? SearchUndecided : SearchNoEvidence;
        const DeflateGoal goal = {DeflateEndGzip, at, picked->size, 0, 0, 0, budget};
        SearchDeflated(picked, &goal, &found);
        budget -= found.fed < budget ? found.fed : budget;
        // No way passes, or the budget ran out first. A member of another length or with
        // bytes inflate refuses may be broken since before the damage, or keep more CRs
        // than were tried: wrong ways inflate on for long, so only the count of pairs can
        // tell the two apart. One cut short (a cut-off download) keeps its plain repair,
        // as does junk after a member whose plain repair is whole: neither says a CR stayed.
        if (found.ways == 0 && !evidence && (found.noneKeptTrailer || found.noneKeptCutShort))
            return SearchNoEvidence;
        if (found.ways == 0) return evidence ? SearchUndecided : SearchBlind;
        if (!found.noneKeptWay && (found.ways >= 2 || found.capped)) return SearchUndecided;
        evidence = evidence || !found.noneKeptWay;
        for (size_t i = 0; i < found.first.count; ++i)
            if (!KeepPair(kept, found.first.kept[i])) return SearchUndecided;
        at = found.first.memberEnd;
    }
    if (!evidence) return SearchNoEvidence;
    // Decided only where the check passes the bytes that would be written (a large file
    // is unsure there: its members were inflated here already).
    static GzipCheck check;
    StartGzipCheck(&check);
    const bool fed = FeedKeeping(picked, kept, FeedGzipCheck, &check);
    return fed && FinishGzipCheck(&check) != CheckFailed ? SearchDecided : SearchUndecided;
}

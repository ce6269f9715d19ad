// MP3 walker. Checks, from the first byte to the last:
//   ID3v2 tags        "ID3", version 2 to 4, a size of four 7-bit bytes (plus 10 with
//                     the footer flag); tags may stand one after another before the audio
//   frames            each header exactly where the frame before it ends: 11 sync bits,
//                     a known version (1, 2, 2.5) and layer (I-III), a bit rate and a sample
//                     rate of the table, no reserved emphasis; its length from them and
//                     the padding bit; the same version, layer and sample rate throughout
//   tags at the end   after the last frame only: ID3v1 ("TAG", 128 bytes), APEv2 with its
//                     header ("APETAGEX", its size), Lyrics3 ("LYRICSBEGIN" up to
//                     "LYRICSEND" or "LYRICS200"), each optionally then an ID3v1 tag
// Anything else between frames fails; a free-format bit rate is unsure.
// The search also reads a LAME tag in the first frame (after "Xing" or "Info"): its own
// CRC-16 over the frame's first bytes, and the CRC-16 and length of the music after it.
#include "mp3.h"

#include <algorithm>
#include <cstring>

#include "own_crcs.h"
#include "picked_window.h"

enum Mp3Phase { Mp3Boundary, Mp3TagHeader, Mp3Skip, Mp3Tail };

const size_t Mp3HeaderSize = 4, Id3HeaderSize = 10, Id3v1Size = 128, ApeHeaderSize = 32;
const int Mp3FreeFormat = 0, Mp3NotAFrame = -1;

// A frame header's length in bytes, Mp3FreeFormat, or Mp3NotAFrame; *stream its version,
// layer and sample rate bits.
static int FrameLength(const unsigned char* h, unsigned* stream) {
    static const unsigned short Kbps[5][16] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // 1, I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // 1, II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // 1, III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // 2 and 2.5, I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // 2 and 2.5, II and III
    };
    static const unsigned Hz[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return Mp3NotAFrame;
    const unsigned version = (h[1] >> 3) & 3, layer = 4 - ((h[1] >> 1) & 3);  // layer 4: reserved
    const unsigned rate = h[2] >> 4, hzIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 4 || rate == 15 || hzIndex == 3 || (h[3] & 3) == 2) return Mp3NotAFrame;
    *stream = (h[1] & 0x1Eu) << 2 | hzIndex;
    if (rate == 0) return Mp3FreeFormat;
    const unsigned row = version == 3 ? layer - 1 : (layer == 1 ? 3 : 4);
    const unsigned long bits = Kbps[row][rate] * 1000UL, hz = Hz[version][hzIndex];
    if (layer == 1) return static_cast<int>((12 * bits / hz + padding) * 4);
    const unsigned long perFrame = layer == 3 && version != 3 ? 72 : 144;
    return static_cast<int>(perFrame * bits / hz + padding);
}

// The size an ID3v2 header gives its tag, header included, or 0 when it is not one.
static unsigned long long Id3TagLength(const unsigned char* h) {
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] < 2 || h[3] > 4 || h[4] == 0xFF) return 0;
    unsigned long long size = 0;
    for (int i = 6; i < 10; ++i) {
        if (h[i] & 0x80) return 0;
        size = size << 7 | h[i];
    }
    const bool footer = h[3] == 4 && (h[5] & 0x10);
    return Id3HeaderSize + size + (footer ? Id3HeaderSize : 0);
}

static bool StartsTail(const unsigned char* b) {
    return std::memcmp(b, "TAG", 3) == 0 || std::memcmp(b, "APET", 4) == 0 || std::memcmp(b, "LYRI", 4) == 0;
}

void StartMp3Check(Mp3Check* check) {
    std::memset(check, 0, sizeof *check);
    check->phase = Mp3Boundary;
}

static void TailBytes(Mp3Check* check, const unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i, ++check->tailLength) {
        if (check->tailLength < Mp3TailStart) check->tailStart[check->tailLength] = bytes[i];
        check->tailEnd[check->tailLength % Mp3TailEnd] = bytes[i];
    }
}

// What stands at a boundary between frames, its first four bytes gathered.
static bool Boundary(Mp3Check* check) {
    const unsigned char* b = check->field;
    unsigned stream = 0;
    const int length = FrameLength(b, &stream);
    if (length == Mp3FreeFormat) {
        check->unsure = true;
        return true;
    }
    if (length > 0) {
        if (check->frames > 0 && stream != check->stream) return false;
        check->stream = stream;
        ++check->frames;
        check->skip = static_cast<unsigned long long>(length) - Mp3HeaderSize;
        check->phase = Mp3Skip;
        return true;
    }
    if (check->frames == 0 && std::memcmp(b, "ID3", 3) == 0) {
        check->phase = Mp3TagHeader;
        check->have = Mp3HeaderSize;  // the tag header's first bytes, gathered already
        return true;
    }
    if (check->frames == 0 || !StartsTail(b)) return false;
    check->phase = Mp3Tail;
    TailBytes(check, b, Mp3HeaderSize);
    return true;
}

bool CheckMp3Bytes(Mp3Check* check, const unsigned char* bytes, size_t n) {
    while (n > 0 && !check->unsure) {
        if (check->phase == Mp3Tail) {
            TailBytes(check, bytes, n);
            return true;
        }
        if (check->phase == Mp3Skip) {
            const size_t take = check->skip < n ? static_cast<size_t>(check->skip) : n;
            check->skip -= take;
            bytes += take;
            n -= take;
            if (check->skip == 0) check->phase = Mp3Boundary;
            continue;
        }
        const size_t want = check->phase == Mp3TagHeader ? Id3HeaderSize : Mp3HeaderSize;
        const size_t take = want - check->have < n ? want - check->have : n;
        std::memcpy(check->field + check->have, bytes, take);
        check->have += take;
        bytes += take;
        n -= take;
        if (check->have < want) continue;
        check->have = 0;
        if (check->phase == Mp3Boundary) {
            if (!Boundary(check)) return false;
            continue;
        }
        const unsigned long long tag = Id3TagLength(check->field);
        if (tag == 0) return false;
        check->skip = tag - Id3HeaderSize;
        check->phase = check->skip > 0 ? Mp3Skip : Mp3Boundary;
    }
    return true;
}

// Whether a Lyrics3 tag's end marker stands just before the last `after` bytes.
static bool LyricsEndBefore(const unsigned char* last, size_t kept, size_t after) {
    if (kept < after + 9) return false;
    const unsigned char* end = last + kept - after - 9;
    return std::memcmp(end, "LYRICSEND", 9) == 0 || std::memcmp(end, "LYRICS200", 9) == 0;
}

// The tags at the end, as their first and last bytes and their length say.
static bool TailIsTags(const Mp3Check* check) {
    const unsigned long long length = check->tailLength;
    unsigned char last[Mp3TailEnd];
    const size_t kept = length < Mp3TailEnd ? static_cast<size_t>(length) : Mp3TailEnd;
    for (size_t i = 0; i < kept; ++i) last[i] = check->tailEnd[(length - kept + i) % Mp3TailEnd];
    const unsigned char* start = check->tailStart;
    const bool id3v1Last = length > Id3v1Size && std::memcmp(last + kept - Id3v1Size, "TAG", 3) == 0;
    if (std::memcmp(start, "TAG", 3) == 0) return length == Id3v1Size;
    if (length >= ApeHeaderSize && std::memcmp(start, "APETAGEX", 8) == 0) {
        const unsigned long long size = static_cast<unsigned long long>(start[12]) | start[13] << 8 |
                                        start[14] << 16 | static_cast<unsigned long long>(start[15]) << 24;
        return length == ApeHeaderSize + size || (id3v1Last && length - Id3v1Size == ApeHeaderSize + size);
    }
    if (length >= 20 && std::memcmp(start, "LYRICSBEGIN", 11) == 0)
        return LyricsEndBefore(last, kept, 0) || (id3v1Last && LyricsEndBefore(last, kept, Id3v1Size));
    return false;
}

CheckVerdict FinishMp3Check(Mp3Check* check) {
    if (check->unsure) return CheckUnsure;
    if (check->phase == Mp3Tail) return TailIsTags(check) ? CheckPassed : CheckFailed;
    return check->phase == Mp3Boundary && check->have == 0 && check->frames > 0 ? CheckPassed : CheckFailed;
}

// The search. The frame chain is walked in the picked file: where a frame's next header
// does not stand where the frame ends with every pair's CR dropped, it stands farther
// on by the CRs the frame kept. A frame whose pairs all stay (or none) is decided; one
// that keeps some of several only by a LAME tag's music CRC (below), since its own
// CRC-16, where it has one, covers only the header and the side information. Tags are
// spans like frames: an ID3v2 tag or an ID3v1 tag has a length of its own; the tags at
// the end but ID3v1 are read as they stand.
namespace {

// A frame that keeps some of its several pairs: which, only the music CRC of a LAME
// tag can tell (see MusicCrcDecides).
const size_t MaxOpenSpans = 16;
const size_t MaxOpenPairs = 24;
// A CRC-16 over every way of every open frame together: a wrong way passes by chance at
// odds of 1 in 256 at most, as for a FLAC frame.
const size_t MaxMusicWays = 256;
struct OpenSpan {
    unsigned long long from, end;  // in the picked file
    size_t pairs, keep;
    unsigned long long at[MaxOpenPairs];  // its pairs' CRs
    size_t ways;
    unsigned long mask[MaxMusicWays];     // each way: the pairs keeping their CR
    unsigned crc[MaxMusicWays];           // and its CRC, shifted to the music's end
};

struct Mp3Walk {
    unsigned long long at;
    unsigned long long frames;
    unsigned stream;
    bool haveStream;
    bool evidence, undecided;
    unsigned long long firstFrame, firstFrameEnd, musicEnd;  // in the picked file
    unsigned firstFrameLength;
    bool inFrames;  // the frames after the first: what the music CRC covers
    size_t openCount;
};

struct {
    PickedWindow window;
    OpenSpan open[MaxOpenSpans];
} M;

// The frame length at `at`, 0 when no frame of the walk's stream starts there.
unsigned FrameAt(const Mp3Walk* w, unsigned long long at) {
    const unsigned char* h = PickedAt(&M.window, at, Mp3HeaderSize);
    unsigned stream = 0;
    const int length = h ? FrameLength(h, &stream) : Mp3NotAFrame;
    if (length <= 0 || (w->haveStream && stream != w->stream)) return 0;
    return static_cast<unsigned>(length);
}

bool TailAt(unsigned long long at) {
    const unsigned char* b = PickedAt(&M.window, at, 4);
    return b && StartsTail(b);
}

// What may follow a span: a frame (itself followed by a frame, a tag or the end, with
// every pair's CR dropped or kept), a tag at the end, or the end.
bool FollowerAt(const Mp3Walk* w, unsigned long long at, bool looking) {
    const unsigned long long size = M.window.picked->size;
    if (at == size || TailAt(at)) return true;
    const unsigned length = FrameAt(w, at);
    if (length == 0) return false;
    if (!looking) return true;
    const unsigned long long pairs = PairsIn(&M.window, at, at + 2ULL * length);
    for (unsigned long long next = at + length; next <= at + length + pairs && next <= size; ++next)
        if (FollowerAt(w, next, false)) return true;
    return false;
}

// Where the span of `length` bytes of the original starting at `from` ends in the
// picked file, and its pairs: the one place, between `length` and `length` with every
// pair's CR added, where a follower stands. False for none, or two.
bool FindSpanEnd(const Mp3Walk* w, unsigned long long from, unsigned long long length, unsigned long long* end,
                 unsigned long long* pairs) {
    const unsigned long long size = M.window.picked->size;
    if (length > size - from) return false;
    unsigned long long y = from + length, inside = PairsIn(&M.window, from, y), repaired = length - inside;
    unsigned found = 0;
    while (repaired <= length && y <= size) {
        if (FollowerAt(w, y, true)) {
            if (++found > 1) return false;
            *end = y;
            *pairs = inside;
        }
        if (PairAt(&M.window, y - 1))
            ++inside;
        else
            ++repaired;
        ++y;
    }
    return found == 1;
}

// Every way of keeping `keep` of the span's pairs, as masks in order; false past `room`.
bool ListWays(OpenSpan* span, size_t room) {
    size_t chosen[MaxOpenPairs];
    for (size_t i = 0; i < span->keep; ++i) chosen[i] = i;
    span->ways = 0;
    for (;;) {
        if (span->ways == room) return false;
        unsigned long mask = 0;
        for (size_t i = 0; i < span->keep; ++i) mask |= 1UL << chosen[i];
        span->mask[span->ways++] = mask;
        size_t i = span->keep;
        while (i > 0 && chosen[i - 1] == span->pairs - span->keep + i - 1) --i;
        if (i == 0) return true;
        ++chosen[i - 1];
        for (size_t m = i; m < span->keep; ++m) chosen[m] = chosen[m - 1] + 1;
    }
}

// Remembers a frame keeping some of its pairs for the music CRC; false when there are
// too many such frames or ways for it to tell apart.
bool OpenSpanAt(Mp3Walk* w, unsigned long long from, unsigned long long end, unsigned long long pairs,
                unsigned long long keep) {
    if (!w->inFrames || w->frames < 2 || w->openCount == MaxOpenSpans || pairs > MaxOpenPairs) return false;
    OpenSpan* span = &M.open[w->openCount];
    span->from = from;
    span->end = end;
    span->pairs = 0;
    span->keep = static_cast<size_t>(keep);
    for (unsigned long long at = from; at + 1 < end; ++at)
        if (PairAt(&M.window, at)) span->at[span->pairs++] = at;
    size_t room = MaxMusicWays;
    for (size_t i = 0; i < w->openCount; ++i) room /= M.open[i].ways;
    if (span->pairs != pairs || !ListWays(span, room)) return false;
    ++w->openCount;
    return true;
}

// The span [from, end) keeps `keep` of its `pairs`: all of them, none, or undecided.
void DecideSpan(Mp3Walk* w, unsigned long long from, unsigned long long end, unsigned long long pairs,
                unsigned long long keep, KeptPairs* kept) {
    if (keep == 0) return;
    w->evidence = true;
    if (keep < pairs) {
        if (!OpenSpanAt(w, from, end, pairs, keep)) w->undecided = true;
        return;
    }
    for (unsigned long long at = from; at + 1 < end; ++at)
        if (PairAt(&M.window, at) && !KeepPair(kept, at)) w->undecided = true;
}

// A span of known length at w->at: a frame or a tag. False when the chain breaks there.
bool Span(Mp3Walk* w, unsigned long long length, KeptPairs* kept) {
    unsigned long long end = 0, pairs = 0;
    if (!FindSpanEnd(w, w->at, length, &end, &pairs)) return false;
    DecideSpan(w, w->at, end, pairs, length - (end - w->at - pairs), kept);
    w->at = end;
    return true;
}

// The ID3v2 header at w->at read as the plain repair reads it (its size bytes may hold an LF).
unsigned long long Id3TagAt(unsigned long long at) {
    unsigned char h[Id3HeaderSize];
    for (size_t i = 0; i < Id3HeaderSize; ++i, ++at) {
        if (PairAt(&M.window, at)) ++at;
        const int byte = PickedByte(&M.window, at);
        if (byte < 0) return 0;
        h[i] = static_cast<unsigned char>(byte);
    }
    return Id3TagLength(h);
}

// The tags at the end: an ID3v1 tag is a span of 128 bytes; any other is read as it stands.
bool Tail(Mp3Walk* w, KeptPairs* kept) {
    const unsigned long long size = M.window.picked->size;
    if (!TailAt(w->at)) return false;
    const unsigned char* b = PickedAt(&M.window, w->at, 4);
    if (std::memcmp(b, "TAG", 3) != 0) {
        if (PairsIn(&M.window, w->at, size) > 0) w->undecided = w->undecided || w->evidence;
        return true;
    }
    const unsigned long long length = size - w->at, pairs = PairsIn(&M.window, w->at, size);
    if (length - pairs > Id3v1Size || length < Id3v1Size) return false;
    DecideSpan(w, w->at, size, pairs, Id3v1Size - (length - pairs), kept);
    return true;
}

// ---- The music CRC of a LAME tag ----
// An encoder writing a LAME tag (in the first frame, after its Xing or Info header) keeps
// there the CRC-16 of the tag itself and of all the music after that frame, and the
// length of the two. The tag is taken only where its own CRC holds.

const size_t LameTagRead = 4 + 32 + 120 + 36;  // header, side info, Xing fields, LAME fields

struct LameTag {
    unsigned musicCrc;
    unsigned long musicLength;  // from the first frame to the last frame's end
};

unsigned long BigEndian(const unsigned char* b, size_t n) {
    unsigned long value = 0;
    for (size_t i = 0; i < n; ++i) value = value << 8 | b[i];
    return value;
}

// The original bytes of the picked file from *from (moved past them), the CR of every
// pair dropped but those at kept[0, count) (ascending), up to n of them, before `to`;
// how many were read.
size_t ReadOriginal(unsigned long long* from, unsigned long long to, const unsigned long long* kept, size_t count,
                    unsigned char* out, size_t n) {
    const unsigned long long* next = std::lower_bound(kept, kept + count, *from);
    size_t made = 0;
    unsigned long long at = *from;
    for (; at < to && made < n; ++at) {
        const int byte = PickedByte(&M.window, at);
        if (byte < 0) break;
        const bool keptCr = next < kept + count && *next == at;
        if (keptCr) ++next;
        if (!keptCr && PairAt(&M.window, at)) continue;
        out[made++] = static_cast<unsigned char>(byte);
    }
    *from = at;
    return made;
}

bool ReadLameTag(const Mp3Walk* w, const KeptPairs* kept, LameTag* tag) {
    unsigned char frame[LameTagRead];
    unsigned long long at = w->firstFrame;
    const size_t n = ReadOriginal(&at, w->firstFrameEnd, kept->at, kept->count, frame,
                                  std::min<size_t>(sizeof frame, w->firstFrameLength));
    if (n < 4) return false;
    const bool mpeg1 = (frame[1] & 0x18) == 0x18, mono = (frame[3] >> 6) == 3;
    const size_t xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (xing + 8 > n || (std::memcmp(frame + xing, "Xing", 4) != 0 && std::memcmp(frame + xing, "Info", 4) != 0))
        return false;
    const unsigned long flags = BigEndian(frame + xing + 4, 4);
    const size_t lame = xing + 8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    if (lame + 36 > n || LameCrc16(0, frame, lame + 34) != BigEndian(frame + lame + 34, 2)) return false;
    tag->musicLength = BigEndian(frame + lame + 28, 4);
    tag->musicCrc = static_cast<unsigned>(BigEndian(frame + lame + 32, 2));
    return true;
}

// The CRC of the music with every open frame's bytes as zeros, each open frame's ways'
// CRCs shifted to the music's end; false when a read fails.
bool MusicCrcs(const Mp3Walk* w, const KeptPairs* kept, unsigned* zeroed, unsigned long long* musicLength) {
    static unsigned char piece[PickedWindowSize / 4];
    static unsigned long long openEnd[MaxOpenSpans];  // original bytes of the music before each open end
    unsigned crc = 0;
    unsigned long long made = 0;
    unsigned long long at = w->firstFrameEnd;
    for (size_t s = 0; s <= w->openCount; ++s) {
        const unsigned long long to = s < w->openCount ? M.open[s].from : w->musicEnd;
        while (at < to) {  // the decided frames between, read as their kept CRs say
            const size_t n = ReadOriginal(&at, to, kept->at, kept->count, piece, sizeof piece);
            if (n == 0) return false;
            crc = LameCrc16(crc, piece, n);
            made += n;
        }
        if (s == w->openCount) break;
        const OpenSpan* span = &M.open[s];
        const unsigned long long length = span->end - span->from - (span->pairs - span->keep);
        crc = LameCrc16Shift(crc, length);  // zeros in its place
        made += length;
        openEnd[s] = made;
        at = span->end;
    }
    for (size_t s = 0; s < w->openCount; ++s) {
        OpenSpan* span = &M.open[s];
        for (size_t way = 0; way < span->ways; ++way) {
            unsigned long long wayKept[MaxOpenPairs];
            size_t count = 0;
            for (size_t p = 0; p < span->pairs; ++p)
                if (span->mask[way] >> p & 1) wayKept[count++] = span->at[p];
            unsigned long long at = span->from;
            const size_t n = ReadOriginal(&at, span->end, wayKept, count, piece, sizeof piece);
            if (n != span->end - span->from - (span->pairs - span->keep)) return false;
            span->crc[way] = LameCrc16Shift(LameCrc16(0, piece, n), made - openEnd[s]);
        }
    }
    *zeroed = crc;
    *musicLength = made;
    return true;
}

// Every way of every open frame together, against the tag's music CRC: decided when
// exactly one passes, its CRs then added to kept (kept stays ascending).
bool MusicCrcDecides(const Mp3Walk* w, KeptPairs* kept) {
    LameTag tag;
    unsigned zeroed = 0;
    unsigned long long made = 0;
    if (!ReadLameTag(w, kept, &tag) || !MusicCrcs(w, kept, &zeroed, &made)) return false;
    const unsigned long long firstLength = w->firstFrameLength;
    if (tag.musicLength != 0 && tag.musicLength != firstLength + made) return false;
    size_t choice[MaxOpenSpans] = {}, found[MaxOpenSpans] = {};
    unsigned passed = 0;
    for (;;) {
        unsigned crc = zeroed;
        for (size_t s = 0; s < w->openCount; ++s) crc ^= M.open[s].crc[choice[s]];
        if (crc == tag.musicCrc && ++passed == 1) std::memcpy(found, choice, sizeof found);
        size_t s = 0;
        while (s < w->openCount && ++choice[s] == M.open[s].ways) choice[s++] = 0;
        if (s == w->openCount) break;
    }
    if (passed != 1) return false;
    for (size_t s = 0; s < w->openCount; ++s)
        for (size_t p = 0; p < M.open[s].pairs; ++p)
            if (M.open[s].mask[found[s]] >> p & 1 && !KeepPair(kept, M.open[s].at[p])) return false;
    std::sort(kept->at, kept->at + kept->count);
    return true;
}

bool FeedMp3Check(void* check, const unsigned char* bytes, size_t n) {
    return CheckMp3Bytes(static_cast<Mp3Check*>(check), bytes, n);
}

}  // namespace

SearchVerdict SearchMp3KeptPairs(const PickedBytes* picked, KeptPairs* kept) {
    OpenPickedWindow(&M.window, picked);
    Mp3Walk w;
    std::memset(&w, 0, sizeof w);
    bool whole = true;
    for (unsigned long long tag = Id3TagAt(0); whole && tag > 0; tag = Id3TagAt(w.at)) whole = Span(&w, tag, kept);
    while (whole && w.at < picked->size && !TailAt(w.at)) {
        const unsigned char* h = PickedAt(&M.window, w.at, Mp3HeaderSize);
        unsigned stream = 0;
        const int length = h ? FrameLength(h, &stream) : Mp3NotAFrame;
        if (length <= 0 || (w.haveStream && stream != w.stream)) {
            whole = false;
            break;
        }
        w.stream = stream;
        w.haveStream = true;
        w.inFrames = true;
        ++w.frames;
        if (w.frames == 1) {
            w.firstFrame = w.at;
            w.firstFrameLength = static_cast<unsigned>(length);
        }
        whole = Span(&w, static_cast<unsigned long long>(length), kept);
        if (w.frames == 1) w.firstFrameEnd = w.at;
        w.musicEnd = w.at;
    }
    w.inFrames = false;
    whole = whole && w.frames > 0;  // as the check: tags alone are no MP3
    if (whole && w.at < picked->size) whole = Tail(&w, kept);
    if (!w.evidence) return SearchNoEvidence;
    if (!whole || w.undecided || (w.openCount > 0 && !MusicCrcDecides(&w, kept))) return SearchUndecided;
    static Mp3Check check;
    StartMp3Check(&check);
    const bool fed = FeedKeeping(picked, kept, FeedMp3Check, &check);
    return fed && FinishMp3Check(&check) != CheckFailed ? SearchDecided : SearchUndecided;
}

// The PNG, Ogg and FLAC walkers on real files (samples.h): healthy, damaged either way,
// and broken before the damage. Each row: what the check says of the bytes as picked and
// of their plain repair, what the search says, and for a decided file that keeping the
// CRs it found gives back the original byte for byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "flac_subframes.h"
#include "md5.h"
#include "formats.h"
#include "own_crcs.h"
#include "pair_search.h"
#include "samples.h"
#include "format_test_support.h"
#include "test_support.h"

namespace {

enum Breakage { Whole, BadCrc, CutOff, TagAppended, BadMd5, EarlyBadCrc };
const int NotAsked = -1;  // a healthy file is refused before any search

struct FormatRow {
    const char* name;
    const char* sample;
    FileFormat format;
    Breakage broken;  // before the damage
    Damage damage;
    CheckVerdict picked;
    CheckVerdict repaired;
    int search;  // a SearchVerdict, or NotAsked
};

const FormatRow Rows[] = {
    {"PngHealthy", "noise_96x96.png", FormatPng, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"PngFirstKind", "noise_96x96.png", FormatPng, Whole, EveryLineFeed, CheckFailed, CheckPassed, SearchNoEvidence},
    {"PngSecondKind", "noise_96x96.png", FormatPng, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    {"PngBadCrcFirstKind", "noise_96x96.png", FormatPng, BadCrc, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"PngCutOffFirstKind", "noise_96x96.png", FormatPng, CutOff, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"PngBadCrcSecondKind", "noise_96x96.png", FormatPng, BadCrc, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"OggHealthy", "noise_mono.ogg", FormatOgg, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"OggFirstKind", "noise_mono.ogg", FormatOgg, Whole, EveryLineFeed, CheckFailed, CheckPassed, SearchNoEvidence},
    {"OggSecondKind", "noise_mono.ogg", FormatOgg, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    {"OggBadCrcFirstKind", "noise_mono.ogg", FormatOgg, BadCrc, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"OggCutOffFirstKind", "noise_mono.ogg", FormatOgg, CutOff, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    // The comment's own CR LF, in the first pages, says CRs stayed: the bad page then
    // leaves the file undecided.
    // A bad page before any that keeps CRs: the pages after it still say CRs stayed.
    {"OggEarlyBadCrcSecondKind", "noise_mono.ogg", FormatOgg, EarlyBadCrc, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"OggEarlyBadCrcFirstKind", "noise_mono.ogg", FormatOgg, EarlyBadCrc, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"OggBadCrcSecondKind", "noise_mono.ogg", FormatOgg, BadCrc, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"FlacHealthy", "noise_mono.flac", FormatFlac, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"FlacFirstKind", "noise_mono.flac", FormatFlac, Whole, EveryLineFeed, CheckFailed, CheckPassed,
     SearchNoEvidence},
    {"FlacSecondKind", "noise_mono.flac", FormatFlac, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    {"FlacBadCrcFirstKind", "noise_mono.flac", FormatFlac, BadCrc, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"FlacCutOffFirstKind", "noise_mono.flac", FormatFlac, CutOff, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"FlacBadCrcSecondKind", "noise_mono.flac", FormatFlac, BadCrc, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"FlacTagHealthy", "noise_mono.flac", FormatFlac, TagAppended, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"FlacTagFirstKind", "noise_mono.flac", FormatFlac, TagAppended, EveryLineFeed, CheckFailed, CheckPassed,
     SearchNoEvidence},
    {"FlacTagSecondKind", "noise_mono.flac", FormatFlac, TagAppended, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    // A comment of mixed line ends: only its block's length covers it, and that leaves
    // two ways (which of its two LFs had the CR).
    {"FlacMixedCommentSecondKind", "flac:mixed-comment", FormatFlac, Whole, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"FlacMixedCommentFirstKind", "flac:mixed-comment", FormatFlac, Whole, EveryLineFeed, CheckFailed, CheckPassed,
     SearchNoEvidence},
    // A frame keeping 2 CRs among 22 to 27 pairs: more ways than its CRC-16 alone is
    // tried with; its subframes read exactly decide it.
    {"FlacTwoKeptAmongManySecondKind", "noise_pairs.flac", FormatFlac, Whole, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchDecided},
    // 2 kept among 34 to 40 pairs: only the second pass, its samples' MD5 checked, decides
    // it; with STREAMINFO's MD5 changed, that check must turn every way down.
    {"FlacTwoKeptAmongMoreSecondKind", "noise_more_pairs.flac", FormatFlac, Whole, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchDecided},
    {"FlacBadMd5SecondKind", "noise_more_pairs.flac", FormatFlac, BadMd5, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchUndecided},
    {"FlacTwoKeptAmongManyFirstKind", "noise_pairs.flac", FormatFlac, Whole, EveryLineFeed, CheckFailed,
     CheckPassed, SearchNoEvidence},
    // Small PNGs whose header and CRC fields hold an LF or a pair of their own.
    {"PngLengthHoldsLfSecondKind", "png:length-lf", FormatPng, Whole, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"PngLengthHoldsTwoLfSecondKind", "png:length-two-lf", FormatPng, Whole, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"PngCrcHoldsLfSecondKind", "png:crc-lf", FormatPng, Whole, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"PngCrcHoldsPairSecondKind", "png:crc-pair", FormatPng, Whole, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"PngCrcHoldsPairFirstKind", "png:crc-pair", FormatPng, Whole, EveryLineFeed, CheckFailed, CheckPassed,
     SearchNoEvidence},
};

void PutBigEndian32(Bytes* out, unsigned long value) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<unsigned char>(value >> shift));
}

void PutChunk(Bytes* out, const char* type, const Bytes& data) {
    PutBigEndian32(out, static_cast<unsigned long>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out->insert(out->end(), typed.begin(), typed.end());
    PutBigEndian32(out, crc32(0, typed.data(), static_cast<uInt>(typed.size())));
}

bool Holds(const Bytes& bytes, const std::string& what) {
    return std::search(bytes.begin(), bytes.end(), what.begin(), what.end()) != bytes.end();
}

// A 1x1 PNG with a tEXt chunk of its own CR LF; its length or CRC field as the shape says:
// "length-lf" (10 bytes of text), "length-two-lf" (2,570), "crc-lf" or "crc-pair" (the
// first text whose CRC holds one).
Bytes MadePng(const std::string& shape) {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PutChunk(&png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 0, 0, 0, 0});
    for (unsigned tries = 0; tries < 100000; ++tries) {
        std::string text = "Title";
        text += '\0';
        text += shape == "length-lf" ? "a\r\nb" : "one\r\ntwo\nthree " + std::to_string(tries);
        if (shape == "length-two-lf") text.resize(0x0A0A, '.');  // length bytes 00 00 0A 0A
        Bytes chunk;
        PutChunk(&chunk, "tEXt", Bytes(text.begin(), text.end()));
        const Bytes crcField(chunk.end() - 4, chunk.end());
        const bool fits = shape.compare(0, 6, "length") == 0 || (shape == "crc-lf" && Holds(crcField, "\n") && !Holds(crcField, "\r")) ||
                          (shape == "crc-pair" && Holds(crcField, "\r\n"));
        if (!fits) continue;
        png.insert(png.end(), chunk.begin(), chunk.end());
        PutChunk(&png, "IEND", {});
        return png;
    }
    ADD_FAILURE() << "no text gives a PNG of shape " << shape;
    return png;
}

// The FLAC sample with its comment's second line end made a lone LF (same length).
Bytes FlacWithMixedComment() {
    Bytes flac = Sample("noise_mono.flac");
    const std::string was = "first line\r\nsecond line", now = "first line\r\nsecond\nline";
    const auto at = std::search(flac.begin(), flac.end(), was.begin(), was.end());
    if (at == flac.end()) ADD_FAILURE() << "the FLAC sample's comment is not there";
    else std::copy(now.begin(), now.end(), at);
    return flac;
}

Bytes Original(const char* name) {
    const std::string shape = name;
    if (shape == "flac:mixed-comment") return FlacWithMixedComment();
    if (shape.compare(0, 4, "png:") == 0) return MadePng(shape.substr(4));
    return Sample(name);
}

// A byte in the middle changed, neither CR nor LF before or after: the CRC covering it fails.
Bytes Broken(const Bytes& original, Breakage broken) {
    Bytes bytes = original;
    if (broken == CutOff) bytes.resize(bytes.size() * 2 / 3);
    if (broken == TagAppended) {
        const std::string tag = std::string("TAGA title") + std::string(118, ' ');
        bytes.insert(bytes.end(), tag.begin(), tag.end());
    }
    if (broken != BadCrc && broken != BadMd5 && broken != EarlyBadCrc) return bytes;
    // STREAMINFO's MD5 is its last 16 bytes, from offset 26 of the file; an Ogg's first
    // page (its stream's first header, 58 bytes) holds no pair, unlike the pages after it.
    size_t at = broken == BadMd5 ? 26 : broken == EarlyBadCrc ? 40 : bytes.size() / 2;
    while (bytes[at] == 0x0A || bytes[at] == 0x0D || (bytes[at] ^ 0x01) == 0x0A || (bytes[at] ^ 0x01) == 0x0D) ++at;
    bytes[at] ^= 0x01;
    return bytes;
}


class FormatWalkers : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatWalkers, ChecksAndSearchAsTheRowSays) {
    const FormatRow& row = GetParam();
    const Bytes sample = Original(row.sample);
    ASSERT_FALSE(sample.empty());
    const Bytes original = Broken(sample, row.broken);
    const Bytes picked = Damaged(original, row.damage);
    ASSERT_EQ(FormatOfFirstBytes(picked.data(), picked.size()), row.format);
    ExpectCheck(row.format, picked, row.picked, "as picked");
    ExpectCheck(row.format, ReferenceRestore(picked), row.repaired, "plain repair");
    if (row.search == NotAsked) return;
    static KeptPairs kept;
    const SearchVerdict verdict = Search(row.format, picked, &kept);
    EXPECT_EQ(verdict, row.search);
    if (verdict != SearchDecided) return;
    EXPECT_GT(kept.count, 0u);
    EXPECT_TRUE(RepairKeeping(picked, kept) == original) << "kept " << kept.count << " CRs: not the original";
}

INSTANTIATE_TEST_SUITE_P(Samples, FormatWalkers, ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<FormatRow>& info) { return info.param.name; });

// ---- The CRCs of our own: known check values, slicing against one byte at a time, shifts ----

unsigned long CrcOf(SpanCrc crc, unsigned long value, const unsigned char* bytes, size_t n) {
    if (crc == SpanCrcOgg) return OggCrc(value, bytes, n);
    if (crc == SpanCrcFlac16) return FlacCrc16(static_cast<unsigned>(value), bytes, n);
    return crc32(value, bytes, static_cast<uInt>(n));
}

unsigned long ShiftOf(SpanCrc crc, unsigned long value, unsigned long long n) {
    return crc == SpanCrcOgg ? OggCrcShift(value, n) : FlacCrc16Shift(static_cast<unsigned>(value), n);
}

struct CrcRow {
    const char* name;
    SpanCrc crc;
    unsigned long check;  // of "123456789"
};
const CrcRow CrcRows[] = {
    {"Ogg", SpanCrcOgg, 0x89A1897FUL},
    {"Flac16", SpanCrcFlac16, 0xFEE8UL},
};

TEST(OwnCrcs, CheckValuesSlicingAndShifts) {
    const unsigned char digits[] = "123456789";
    EXPECT_EQ(FlacCrc8(0, digits, 9), 0xF4u);
    EXPECT_EQ(LameCrc16(0, digits, 9), 0xBB3Du);
    Bytes noise(1000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 37 + (i >> 3));
    for (size_t cut : {size_t(1), size_t(500)})
        EXPECT_EQ(LameCrc16Shift(LameCrc16(0, noise.data(), cut), noise.size() - cut) ^
                      LameCrc16(0, noise.data() + cut, noise.size() - cut),
                  LameCrc16(0, noise.data(), noise.size()))
            << "LAME cut at " << cut;
    for (const CrcRow& row : CrcRows) {
        EXPECT_EQ(CrcOf(row.crc, 0, digits, 9), row.check) << row.name;
        unsigned long byteAtATime = 0;
        for (unsigned char byte : noise) byteAtATime = CrcOf(row.crc, byteAtATime, &byte, 1);
        EXPECT_EQ(CrcOf(row.crc, 0, noise.data(), noise.size()), byteAtATime) << row.name;
        for (size_t cut : {size_t(0), size_t(1), size_t(7), size_t(500), size_t(999)}) {
            const unsigned long head = CrcOf(row.crc, 0, noise.data(), cut);
            const unsigned long rest = CrcOf(row.crc, 0, noise.data() + cut, noise.size() - cut);
            EXPECT_EQ(ShiftOf(row.crc, head, noise.size() - cut) ^ rest, byteAtATime) << row.name << " cut at " << cut;
        }
    }
}

// RFC 1321's own values, fed whole and in pieces across its 64-byte blocks.
TEST(OwnCrcs, Md5CheckValues) {
    const struct {
        std::string text;
        const char* digest;
    } rows[] = {{"", "d41d8cd98f00b204e9800998ecf8427e"},
                {"abc", "900150983cd24fb0d6963f7d28e17f72"},
                {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
                 "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& row : rows) {
        for (size_t piece : {size_t(1), size_t(7), size_t(64), size_t(100)}) {
            Md5 md5;
            StartMd5(&md5);
            for (size_t at = 0; at < row.text.size(); at += piece)
                AddToMd5(&md5, reinterpret_cast<const unsigned char*>(row.text.data()) + at,
                         std::min(piece, row.text.size() - at));
            unsigned char digest[16];
            FinishMd5(&md5, digest);
            char hex[33];
            for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
            EXPECT_STREQ(hex, row.digest) << '"' << row.text << "\", pieces of " << piece;
        }
    }
}

// ---- The span search on spans made to order ----

// A picked file in a temporary file for as long as it lives.
struct PickedFile {
    explicit PickedFile(const Bytes& bytes) : picked{std::tmpfile(), bytes.size()} {
        EXPECT_NE(picked.file, nullptr);
        if (picked.file != nullptr) {
            EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), picked.file), bytes.size());
        }
    }
    ~PickedFile() {
        if (picked.file != nullptr) {
            EXPECT_EQ(std::fclose(picked.file), 0);
        }
    }
    PickedBytes picked;
};

enum SearchKind { ExactCount, AnyCount };

struct SpanRow {
    const char* name;
    SpanCrc crc;
    unsigned pairs;       // CR LF pairs in the span, among noise
    unsigned keptEvery;   // the original kept every n-th pair's CR (0: none)
    SearchKind kind;
    bool wrongCrc;        // the CRC asked for is not the original's
    SpanFound expected;
};
const SpanRow SpanRows[] = {
    {"Crc32OneOfForty", SpanCrcZlib, 40, 40, ExactCount, false, SpanOneWay},
    {"Crc32ThreeOfThirty", SpanCrcZlib, 30, 10, ExactCount, false, SpanOneWay},
    {"Crc32NoneKept", SpanCrcZlib, 30, 0, ExactCount, false, SpanOneWay},
    {"Crc32WrongCrc", SpanCrcZlib, 30, 10, ExactCount, true, SpanNoWay},
    {"Crc32HalfOfForty", SpanCrcZlib, 40, 2, ExactCount, false, SpanTooManyWays},
    {"Crc32ThreeOfTwoHundredFifty", SpanCrcZlib, 250, 80, ExactCount, false, SpanOneWay},  // 2.6 million ways
    {"OggTwoOfTwenty", SpanCrcOgg, 20, 10, ExactCount, false, SpanOneWay},
    {"Flac16OneOfTen", SpanCrcFlac16, 10, 10, AnyCount, false, SpanOneWay},
    {"Flac16TwoOfTen", SpanCrcFlac16, 10, 5, AnyCount, false, SpanOneWay},
    {"Flac16OneOfThreeHundred", SpanCrcFlac16, 300, 300, AnyCount, false, SpanTooManyWays},
};

class SpanSearch : public ::testing::TestWithParam<SpanRow> {};

TEST_P(SpanSearch, FindsTheWayTheOriginalWas) {
    const SpanRow& row = GetParam();
    // The original: noise without CR or LF, and its pairs, some of which kept their CR
    // (the damage then gave the others one back).
    Bytes picked = {'<'}, original = {'<'};
    std::vector<unsigned long long> keptAt;
    for (unsigned pair = 0; pair < row.pairs; ++pair) {
        for (unsigned i = 0; i < 5 + pair % 7; ++i) {
            const unsigned char byte = static_cast<unsigned char>(0x20 + (pair * 31 + i * 7) % 90);
            picked.push_back(byte);
            original.push_back(byte);
        }
        const bool keep = row.keptEvery != 0 && pair % row.keptEvery == row.keptEvery - 1;
        if (keep) {
            keptAt.push_back(picked.size());
            original.push_back(0x0D);
        }
        picked.push_back(0x0D);
        picked.push_back(0x0A);
        original.push_back(0x0A);
    }
    const unsigned long before = row.crc == SpanCrcFlac16 ? 0x1234 : 0x12345678;
    const unsigned long want = CrcOf(row.crc, before, original.data() + 1, original.size() - 1) ^ (row.wrongCrc ? 1 : 0);
    PickedFile file(picked);
    static SpanPairs pairs;
    StartSpanSearches();
    ASSERT_TRUE(ListSpanPairs(&file.picked, 1, picked.size(), row.crc, before, &pairs));
    ASSERT_EQ(pairs.count, row.pairs);
    size_t keep = 0;
    ASSERT_TRUE(KeepForLength(&pairs, original.size() - 1, &keep));
    EXPECT_EQ(keep, keptAt.size());
    static KeptPairs kept;
    kept.count = 0;
    const SpanFound found = row.kind == ExactCount ? FindKeptPairs(&pairs, keep, want, SpanWaysCrc32, &kept)
                                                   : FindKeptPairsAnyCount(&pairs, want, SpanWaysCrc16, &kept);
    ASSERT_EQ(found, row.expected);
    if (found != SpanOneWay) return;
    EXPECT_EQ(std::vector<unsigned long long>(kept.at, kept.at + kept.count), keptAt);
}

INSTANTIATE_TEST_SUITE_P(Spans, SpanSearch, ::testing::ValuesIn(SpanRows),
                         [](const ::testing::TestParamInfo<SpanRow>& info) { return info.param.name; });

// ---- Where a span may end ----

struct EndRow {
    const char* name;
    const char* bytes;
    unsigned long long length;  // of the original span from offset 0
    unsigned long long end;     // where it really ends in the picked bytes
};
const EndRow EndRows[] = {
    {"NoPair", "abcdef", 4, 4},
    {"PairInside", "a\r\nbcd", 4, 5},
    {"PairEndingTheSpan", "ab\r\nX", 3, 4},
    {"TwoPairsTheLastEndingIt", "\r\nab\r\nX", 4, 6},
};

class SpanEnds : public ::testing::TestWithParam<EndRow> {};

TEST_P(SpanEnds, RangeHoldsTheRealEnd) {
    const EndRow& row = GetParam();
    const std::string text = row.bytes;
    PickedFile file(Bytes(text.begin(), text.end()));
    unsigned long long first = 0, last = 0;
    ASSERT_TRUE(SpanEndRange(&file.picked, 0, row.length, &first, &last));
    EXPECT_EQ(first, row.length);
    EXPECT_LE(first, row.end);
    EXPECT_GE(last, row.end);
}

INSTANTIATE_TEST_SUITE_P(Ends, SpanEnds, ::testing::ValuesIn(EndRows),
                         [](const ::testing::TestParamInfo<EndRow>& info) { return info.param.name; });

// ---- A few bytes read every way their pairs allow ----

struct ReadingRow {
    const char* name;
    const char* bytes;
    bool behind;
    unsigned long long at;  // ahead: where the reading starts; behind: where it ends
    size_t n;
    std::vector<std::string> ways;  // "bytes read|from|kept CRs", sorted
};
const ReadingRow ReadingRows[] = {
    {"AheadNoPair", "abcd", false, 0, 3, {"abc|0|"}},
    {"AheadPairInside", "x\r\nyz", false, 0, 3, {"x\ny|0|", "x\r\n|0|1"}},
    {"AheadCutShort", "x\r\n", false, 0, 3, {"x\r\n|0|1"}},
    {"BehindPairInside", "ab\r\ncd", true, 6, 4, {"\r\ncd|2|2", "b\ncd|1|"}},
    {"BehindPairAtFirstByte", "a\r\nb", true, 4, 2, {"\nb|1|", "\nb|2|1"}},
};

std::string Shown(const Reading& way) {
    std::string shown(reinterpret_cast<const char*>(way.bytes), way.length);
    shown += "|" + std::to_string(way.from) + "|";
    for (size_t i = 0; i < way.keptCount; ++i) shown += (i > 0 ? "," : "") + std::to_string(way.kept[i]);
    return shown;
}

class OriginalReadings : public ::testing::TestWithParam<ReadingRow> {};

TEST_P(OriginalReadings, ListEveryWay) {
    const ReadingRow& row = GetParam();
    const std::string text = row.bytes;
    PickedFile file(Bytes(text.begin(), text.end()));
    static Readings readings;
    ASSERT_TRUE(row.behind ? ReadOriginalBehind(&file.picked, 0, row.at, row.n, &readings)
                           : ReadOriginalAhead(&file.picked, row.at, row.n, &readings));
    EXPECT_FALSE(readings.capped);
    std::vector<std::string> ways;
    for (size_t w = 0; w < readings.count; ++w) ways.push_back(Shown(readings.way[w]));
    std::sort(ways.begin(), ways.end());
    EXPECT_EQ(ways, row.ways);
}

INSTANTIATE_TEST_SUITE_P(Readings, OriginalReadings, ::testing::ValuesIn(ReadingRows),
                         [](const ::testing::TestParamInfo<ReadingRow>& info) { return info.param.name; });

// ---- A FLAC frame's subframes read to the bit ----

// The first frame of a FLAC file: after the metadata blocks, up to the next sync where
// the CRC-16 comes out 0. Its header is 8 bytes in noise_pairs.flac (a 16-bit block size).
Bytes FirstFlacFrame(const Bytes& flac) {
    size_t at = 4;
    for (bool last = false; !last && at + 4 <= flac.size();) {
        last = (flac[at] & 0x80) != 0;
        at += 4 + (size_t(flac[at + 1]) << 16 | size_t(flac[at + 2]) << 8 | flac[at + 3]);
    }
    for (size_t end = at + 2; end + 1 < flac.size(); ++end)
        if (flac[end] == 0xFF && flac[end + 1] == 0xF8 && FlacCrc16(0, flac.data() + at, end - at) == 0)
            return Bytes(flac.begin() + at, flac.begin() + end);
    ADD_FAILURE() << "no whole first frame";
    return Bytes();
}

enum FrameChange { Unchanged, ByteTakenOut, ByteAdded, ReservedSubframeType, SubframePaddingBitSet };
struct SubframeRow {
    const char* name;
    FrameChange change;
    FlacFrameShape shape;
    bool fits;
};
const size_t PairsHeaderLength = 8;
const SubframeRow SubframeRows[] = {
    {"WholeFrame", Unchanged, {3072, 0, 16}, true},
    {"ByteTakenOut", ByteTakenOut, {3072, 0, 16}, false},
    {"ByteAdded", ByteAdded, {3072, 0, 16}, false},
    {"ReservedType", ReservedSubframeType, {3072, 0, 16}, false},
    {"PaddingBitSet", SubframePaddingBitSet, {3072, 0, 16}, false},
    {"SampleBitsWrong", Unchanged, {3072, 0, 24}, false},
    {"StereoSaid", Unchanged, {3072, 1, 16}, false},
    {"SideChannelSaid", Unchanged, {3072, 9, 16}, false},
    {"BlockOneShort", Unchanged, {3071, 0, 16}, false},
    {"NoSampleBits", Unchanged, {3072, 0, 0}, false},
};

class FlacSubframes : public ::testing::TestWithParam<SubframeRow> {};

TEST_P(FlacSubframes, ReadExactlyToTheCrc) {
    const SubframeRow& row = GetParam();
    Bytes frame = FirstFlacFrame(Sample("noise_pairs.flac"));
    ASSERT_GT(frame.size(), PairsHeaderLength + 100);
    ASSERT_EQ(FlacCrc8(0, frame.data(), PairsHeaderLength - 1), frame[PairsHeaderLength - 1]);
    const size_t middle = frame.size() / 2;
    if (row.change == ByteTakenOut) frame.erase(frame.begin() + middle);
    if (row.change == ByteAdded) frame.insert(frame.begin() + middle, 0x0D);
    if (row.change == ReservedSubframeType) frame[PairsHeaderLength] = 0x04;  // type 000010
    if (row.change == SubframePaddingBitSet) frame[PairsHeaderLength] |= 0x80;
    EXPECT_EQ(FlacSubframesFit(frame.data(), frame.size(), PairsHeaderLength, &row.shape), row.fits);
}

// Past the bytes the repair's pass sums, the lengths alone are checked: a file whose
// lengths hold is unsure, one whose lengths do not fails.
TEST(FormatsPastTheSummedBytes, CheckLengthsAlone) {
    const size_t size = static_cast<size_t>(SummedBytes) + (1 << 20);
    const struct {
        FileFormat format;
        Bytes bytes;
    } files[] = {{FormatPng, PngOfNoise(size)}, {FormatOgg, OggOfNoise(size)}};
    for (const auto& file : files) {
        SCOPED_TRACE(FormatName(file.format));
        Bytes sumBrokenEarly = file.bytes, sumBrokenLate = file.bytes;
        sumBrokenEarly[1000] ^= 1;
        sumBrokenLate[file.bytes.size() - 1000] ^= 1;
        const Bytes cutLate(file.bytes.begin(), file.bytes.end() - 1000);
        ExpectCheck(file.format, file.bytes, CheckUnsure, "whole");
        ExpectCheck(file.format, sumBrokenEarly, CheckFailed, "a sum broken early");
        ExpectCheck(file.format, sumBrokenLate, CheckUnsure, "a sum broken past the summed bytes");
        ExpectCheck(file.format, cutLate, CheckFailed, "cut short past them");
        ExpectCheck(file.format, Damaged(file.bytes, LoneLineFeeds), CheckFailed, "damaged, lengths off");
    }
}

INSTANTIATE_TEST_SUITE_P(Frames, FlacSubframes, ::testing::ValuesIn(SubframeRows),
                         [](const ::testing::TestParamInfo<SubframeRow>& info) { return info.param.name; });

}  // namespace

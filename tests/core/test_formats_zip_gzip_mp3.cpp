// The ZIP, gzip and MP3 walkers on real files (samples.h): healthy, damaged either way,
// and broken before the damage. Each row: what the check says of the bytes as picked and
// of their plain repair, what the search says, and for a decided file that keeping the
// CRs it found gives back the original byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "formats.h"
#include "own_crcs.h"
#include "samples.h"
#include "format_test_support.h"
#include "test_support.h"

namespace {

const int NotAsked = -1;  // a healthy file is refused before any search

Bytes Whole(const Bytes& b) { return b; }
Bytes CutOff(const Bytes& b) { return Bytes(b.begin(), b.begin() + static_cast<long>(b.size() * 2 / 3)); }

// A byte of data covered by a CRC changed (neither it nor its new value CR or LF).
Bytes FlipFrom(Bytes b, size_t at) {
    while (b[at] == 0x0A || b[at] == 0x0D || (b[at] ^ 0x01) == 0x0A || (b[at] ^ 0x01) == 0x0D) ++at;
    b[at] ^= 0x01;
    return b;
}
Bytes StoredEntryFlipped(const Bytes& b) { return FlipFrom(b, 30 + 9 + 2); }  // in lines.txt
Bytes TrailerCrcFlipped(const Bytes& b) { return FlipFrom(b, b.size() - 8); }

// The end record's comment (empty in the sample) made one with a pair and a lone LF.
Bytes CommentWithPairAndLineFeed(const Bytes& b) {
    const char comment[] = "one\r\ntwo\nthree";
    Bytes out(b.begin(), b.end() - 2);
    out.push_back(sizeof comment - 1);
    out.push_back(0);
    out.insert(out.end(), comment, comment + sizeof comment - 1);
    return out;
}

// The MP3 frames after the ID3v2 tag, as (start, length).
std::vector<std::pair<size_t, size_t>> Mp3Frames(const Bytes& b) {
    size_t at = 10 + ((b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]);
    std::vector<std::pair<size_t, size_t>> frames;
    while (at + 4 <= b.size() && b[at] == 0xFF) {
        const size_t length = 72 * 32000 / 22050 + ((b[at + 2] >> 1) & 1);  // the sample's stream
        frames.push_back({at, length});
        at += length;
    }
    return frames;
}

Bytes JunkBetweenFrames(const Bytes& b) {
    const auto frames = Mp3Frames(b);
    Bytes out = b;
    const size_t at = frames[frames.size() / 2].first;
    out.insert(out.begin() + static_cast<long>(at), {'j', 'u', 'n', 'k'});
    return out;
}

// A lone LF put into the first frame holding a pair of its own: after the second kind of
// damage it keeps one CR of two, and nothing says which.
const char CrLf[] = "\r\n";

Bytes LoneLineFeedBesidePair(const Bytes& b) {
    Bytes out = b;
    for (const auto& frame : Mp3Frames(b)) {
        const auto start = b.begin() + static_cast<long>(frame.first);
        const auto pair = std::search(start, start + static_cast<long>(frame.second), CrLf, CrLf + 2);
        if (pair == start + static_cast<long>(frame.second)) continue;
        size_t at = frame.first + 20;
        if (static_cast<size_t>(pair - b.begin()) < at + 3) at += 8;
        out[at] = 0x0A;
        return out;
    }
    ADD_FAILURE() << "no frame holds a pair";
    return out;
}

// A LAME tag put before the frames: an Info frame of 64 kbit/s (208 bytes, the sample's
// own frames being too short for one), holding the CRC-16 of all the frames after it.
const size_t LameFrame = 208, LameFields = 4 + 9 + 8;  // header, side info, "Info" and its flags
Bytes WithLameTag(const Bytes& b, unsigned crcOffBy) {
    const auto frames = Mp3Frames(b);
    Bytes info(LameFrame, 0);
    const unsigned char header[] = {0xFF, 0xF3, 0x80, 0xC4};  // MPEG 2, layer III, 64 kbit/s, 22,050 Hz, mono
    std::memcpy(info.data(), header, 4);
    std::memcpy(info.data() + 13, "Info", 4);
    std::memcpy(info.data() + LameFields, "LAME3.100", 9);
    const size_t start = frames.front().first, end = frames.back().first + frames.back().second;
    const unsigned long length = static_cast<unsigned long>(LameFrame + end - start);
    const unsigned music = LameCrc16(0, b.data() + start, end - start) ^ crcOffBy;
    const unsigned char fields[] = {static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
                                    static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length),
                                    static_cast<unsigned char>(music >> 8), static_cast<unsigned char>(music)};
    std::memcpy(info.data() + LameFields + 28, fields, sizeof fields);
    const unsigned tag = LameCrc16(0, info.data(), LameFields + 34);
    info[LameFields + 34] = static_cast<unsigned char>(tag >> 8);
    info[LameFields + 35] = static_cast<unsigned char>(tag);
    Bytes out = b;
    out.insert(out.begin() + static_cast<long>(start), info.begin(), info.end());
    return out;
}
// The tag's music CRC then tells which CR of the two the frame kept.
Bytes LameTagLineFeedBesidePair(const Bytes& b) { return WithLameTag(LoneLineFeedBesidePair(b), 0); }
Bytes LameTagWrongLineFeedBesidePair(const Bytes& b) { return WithLameTag(LoneLineFeedBesidePair(b), 1); }

// Two members, one after the other, as gzip allows.
Bytes TwoMembers(const Bytes& b) {
    Bytes out = b;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// An ID3v1 tag after the last frame, its title holding the given text.
Bytes WithId3v1(const Bytes& b, const char* title) {
    Bytes out = b;
    Bytes tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title, std::strlen(title));
    out.insert(out.end(), tag.begin(), tag.end());
    return out;
}
Bytes Id3v1WithPair(const Bytes& b) { return WithId3v1(b, "one\r\ntwo"); }
Bytes Id3v1WithPairAndLineFeed(const Bytes& b) { return WithId3v1(b, "one\r\ntwo\nthree"); }

void PutLittle(Bytes* b, size_t at, unsigned long value, int n) {
    for (int i = 0; i < n; ++i) (*b)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// A ZIP of stored entries made here (its CRCs by zlib), each entry given as name and data.
Bytes StoredZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    Bytes out, directory;
    for (const auto& entry : entries) {
        const std::string& name = entry.first;
        const std::string& data = entry.second;
        const unsigned long crc = crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
        Bytes local(30, 0), central(46, 0);
        PutLittle(&local, 0, 0x04034b50, 4);
        PutLittle(&local, 4, 20, 2);
        PutLittle(&local, 14, crc, 4);
        PutLittle(&local, 18, data.size(), 4);
        PutLittle(&local, 22, data.size(), 4);
        PutLittle(&local, 26, name.size(), 2);
        PutLittle(&central, 0, 0x02014b50, 4);
        PutLittle(&central, 4, 20, 2);
        PutLittle(&central, 6, 20, 2);
        PutLittle(&central, 16, crc, 4);
        PutLittle(&central, 20, data.size(), 4);
        PutLittle(&central, 24, data.size(), 4);
        PutLittle(&central, 28, name.size(), 2);
        PutLittle(&central, 42, out.size(), 4);
        out.insert(out.end(), local.begin(), local.end());
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), data.begin(), data.end());
        directory.insert(directory.end(), central.begin(), central.end());
        directory.insert(directory.end(), name.begin(), name.end());
    }
    Bytes end(22, 0);
    PutLittle(&end, 0, 0x06054b50, 4);
    PutLittle(&end, 8, entries.size(), 2);
    PutLittle(&end, 10, entries.size(), 2);
    PutLittle(&end, 12, directory.size(), 4);
    PutLittle(&end, 16, out.size(), 4);
    out.insert(out.end(), directory.begin(), directory.end());
    out.insert(out.end(), end.begin(), end.end());
    return out;
}
// A name holding a CR LF pair of its own: the records' own pair, in local header and directory.
Bytes NameWithPair(const Bytes&) { return StoredZip({{"one\r\ntwo.txt", "a\r\nb\nc\r\n"}, {"x", "\n\n"}}); }
Bytes ManyEntries(const Bytes&) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 40; ++i) entries.push_back({"e" + std::to_string(i), std::string(i, 'x') + "\r\n" + std::to_string(i) + "\n"});
    return StoredZip(entries);
}

struct Row {
    const char* name;
    const char* sample;
    FileFormat format;
    Bytes (*before)(const Bytes&);  // what the file was before the damage
    Damage damage;
    CheckVerdict picked;
    CheckVerdict repaired;
    int search;  // a SearchVerdict, or NotAsked
};

const Row Rows[] = {
    {"ZipHealthy", "lines_and_words.zip", FormatZip, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"ZipFirstKind", "lines_and_words.zip", FormatZip, Whole, EveryLineFeed, CheckFailed, CheckPassed, SearchNoEvidence},
    {"ZipSecondKind", "lines_and_words.zip", FormatZip, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    {"ZipBadCrcFirstKind", "lines_and_words.zip", FormatZip, StoredEntryFlipped, EveryLineFeed, CheckFailed,
     CheckFailed, SearchNoEvidence},
    {"ZipBadCrcSecondKind", "lines_and_words.zip", FormatZip, StoredEntryFlipped, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchUndecided},
    {"ZipCutOffFirstKind", "lines_and_words.zip", FormatZip, CutOff, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"ZipCommentSecondKind", "lines_and_words.zip", FormatZip, CommentWithPairAndLineFeed, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchUndecided},
    {"ZipStreamedHealthy", "lines_and_words_streamed.zip", FormatZip, Whole, Undamaged, CheckPassed, CheckFailed,
     NotAsked},
    {"ZipStreamedFirstKind", "lines_and_words_streamed.zip", FormatZip, Whole, EveryLineFeed, CheckFailed,
     CheckPassed, SearchNoEvidence},
    {"ZipStreamedSecondKind", "lines_and_words_streamed.zip", FormatZip, Whole, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchDecided},
    {"ZipStreamedCutOffFirstKind", "lines_and_words_streamed.zip", FormatZip, CutOff, EveryLineFeed, CheckFailed,
     CheckUnsure, SearchNoEvidence},  // cut inside data whose descriptor never comes
    {"ZipNameWithPairSecondKind", "lines_and_words.zip", FormatZip, NameWithPair, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchDecided},
    {"ZipManyEntriesSecondKind", "lines_and_words.zip", FormatZip, ManyEntries, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchDecided},
    {"ZipManyEntriesFirstKind", "lines_and_words.zip", FormatZip, ManyEntries, EveryLineFeed, CheckFailed,
     CheckPassed, SearchNoEvidence},
    {"GzipHealthy", "words.gz", FormatGzip, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"GzipFirstKind", "words.gz", FormatGzip, Whole, EveryLineFeed, CheckFailed, CheckPassed, SearchNoEvidence},
    {"GzipSecondKind", "words.gz", FormatGzip, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    // No way passes: a gzip states no length that could say whether CRs must stay; one
    // cut short keeps its plain repair.
    {"GzipBadCrcFirstKind", "words.gz", FormatGzip, TrailerCrcFlipped, EveryLineFeed, CheckFailed, CheckFailed,
     SearchBlind},
    {"GzipCutOffFirstKind", "words.gz", FormatGzip, CutOff, EveryLineFeed, CheckFailed, CheckFailed, SearchNoEvidence},
    {"GzipTwoMembersSecondKind", "words.gz", FormatGzip, TwoMembers, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"GzipTwoMembersFirstKind", "words.gz", FormatGzip, TwoMembers, EveryLineFeed, CheckFailed, CheckPassed,
     SearchNoEvidence},
    {"Mp3Healthy", "noise_32k.mp3", FormatMp3, Whole, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"Mp3FirstKind", "noise_32k.mp3", FormatMp3, Whole, EveryLineFeed, CheckFailed, CheckPassed, SearchNoEvidence},
    {"Mp3SecondKind", "noise_32k.mp3", FormatMp3, Whole, LoneLineFeeds, CheckFailed, CheckFailed, SearchDecided},
    {"Mp3CutOffFirstKind", "noise_32k.mp3", FormatMp3, CutOff, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"Mp3JunkFirstKind", "noise_32k.mp3", FormatMp3, JunkBetweenFrames, EveryLineFeed, CheckFailed, CheckFailed,
     SearchNoEvidence},
    {"Mp3OneOfTwoSecondKind", "noise_32k.mp3", FormatMp3, LoneLineFeedBesidePair, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchUndecided},
    {"Mp3LameTagOneOfTwoSecondKind", "noise_32k.mp3", FormatMp3, LameTagLineFeedBesidePair, LoneLineFeeds,
     CheckFailed, CheckFailed, SearchDecided},
    {"Mp3LameTagWrongOneOfTwoSecondKind", "noise_32k.mp3", FormatMp3, LameTagWrongLineFeedBesidePair, LoneLineFeeds,
     CheckFailed, CheckFailed, SearchUndecided},
    {"Mp3Id3v1Healthy", "noise_32k.mp3", FormatMp3, Id3v1WithPair, Undamaged, CheckPassed, CheckFailed, NotAsked},
    {"Mp3Id3v1SecondKind", "noise_32k.mp3", FormatMp3, Id3v1WithPair, LoneLineFeeds, CheckFailed, CheckFailed,
     SearchDecided},
    {"Mp3Id3v1OneOfTwoSecondKind", "noise_32k.mp3", FormatMp3, Id3v1WithPairAndLineFeed, LoneLineFeeds, CheckFailed,
     CheckFailed, SearchUndecided},
};


class ZipGzipMp3Walkers : public ::testing::TestWithParam<Row> {};

TEST_P(ZipGzipMp3Walkers, ChecksAndSearchAsTheRowSays) {
    const Row& row = GetParam();
    const Bytes& sample = Sample(row.sample);
    ASSERT_FALSE(sample.empty());
    const Bytes original = row.before(sample);
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

// Files made here, broken the way a walker must refuse without reading past them.
Bytes Raw(const char* text, size_t n) { return Bytes(text, text + n); }

Bytes Deflated(const std::string& text) {
    z_stream z = {};
    Bytes out(text.size() + 64);
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A gzip member of text, its header's flag byte and extra bytes as given.
Bytes Gzip(const std::string& text, unsigned char flags, const Bytes& extra) {
    Bytes out = {0x1F, 0x8B, 0x08, flags, 0, 0, 0, 0, 0, 3};
    for (unsigned char byte : extra) out.push_back(byte);
    const Bytes data = Deflated(text);
    out.insert(out.end(), data.begin(), data.end());
    Bytes trailer(8);
    PutLittle(&trailer, 0, crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())), 4);
    PutLittle(&trailer, 4, text.size(), 4);
    out.insert(out.end(), trailer.begin(), trailer.end());
    return out;
}
Bytes GzipPlain() { return Gzip("plain words", 0, {}); }
Bytes GzipHeaderCrc(bool right) {
    Bytes head = {0x1F, 0x8B, 0x08, 0x02, 0, 0, 0, 0, 0, 3};
    const unsigned long crc = crc32(0L, head.data(), 10) & 0xFFFF;
    return Gzip("words", 0x02, {static_cast<unsigned char>(crc), static_cast<unsigned char>((crc >> 8) ^ (right ? 0 : 1))});
}
Bytes GzipExtraPastEnd() { return Gzip("words", 0x04, {0xFF, 0xFF, 'a'}); }
Bytes GzipReservedFlag() { return Gzip("words", 0x20, {}); }
Bytes GzipUnendedName() { return Raw("\x1f\x8b\x08\x08\0\0\0\0\0\x03name", 14); }
Bytes GzipTrailingJunk() {
    Bytes b = GzipPlain();
    b.push_back('j');
    return b;
}

Bytes ZipWithLocalSize(unsigned long size) {
    Bytes b = StoredZip({{"a", "words"}});
    PutLittle(&b, 18, size, 4);
    PutLittle(&b, 22, size, 4);
    return b;
}
Bytes ZipWithEnd(size_t at, unsigned long value, int n) {
    Bytes b = StoredZip({{"a", "words"}, {"b", "more"}});
    PutLittle(&b, b.size() - 22 + at, value, n);
    return b;
}
Bytes ZipEmpty() { return StoredZip({}); }

// The sample's first four frames (after its ID3v2 tag), bits of the second one's bit rate
// and sample rate byte flipped.
Bytes Mp3Frames4(unsigned char flip) {
    const Bytes& b = Sample("noise_32k.mp3");
    const auto frames = Mp3Frames(b);
    const size_t end = frames[4].first, second = frames[1].first - frames[0].first;
    Bytes out(b.begin() + static_cast<long>(frames[0].first), b.begin() + static_cast<long>(end));
    out[second + 2] ^= flip;
    return out;
}
Bytes Mp3FreeFormat() { return Mp3Frames4(0x40); }  // the sample's bit rate index 4 made 0
Bytes Mp3RateChange() { return Mp3Frames4(0x04); }
Bytes Mp3WithTail(const Bytes& tail) {
    Bytes out = Mp3Frames4(0);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
Bytes ApeTag(unsigned long size) {
    Bytes tag(32 + 32, 0);
    std::memcpy(tag.data(), "APETAGEX", 8);
    PutLittle(&tag, 12, size, 4);
    std::memcpy(tag.data() + 32, "APETAGEX", 8);
    return tag;
}
Bytes Mp3Ape() { return Mp3WithTail(ApeTag(32)); }
Bytes Mp3ApeSize2To31() { return Mp3WithTail(ApeTag(0x80000000UL)); }
Bytes Mp3Lyrics() { return Mp3WithTail(Raw("LYRICSBEGININD0000210000017LYRICS200", 36)); }
Bytes Mp3Id3PastEnd() {
    Bytes out = Raw("ID3\x03\0\0\x7f\x7f\x7f\x7f", 10);
    const Bytes frames = Mp3Frames4(0);
    out.insert(out.end(), frames.begin(), frames.end());
    return out;
}
Bytes Mp3TagOnly() { return Raw("ID3\x03\0\0\0\0\0\x02" "ab", 12); }

struct MadeRow {
    const char* name;
    FileFormat format;
    Bytes (*make)();
    CheckVerdict check;
};

const MadeRow MadeRows[] = {
    {"ZipEmpty", FormatZip, ZipEmpty, CheckPassed},
    {"ZipLengthPastEnd", FormatZip, [] { return ZipWithLocalSize(0x1000); }, CheckFailed},
    {"ZipLength2To31", FormatZip, [] { return ZipWithLocalSize(0x80000000UL); }, CheckFailed},
    {"ZipLengthFFFFFFFF", FormatZip, [] { return ZipWithLocalSize(0xFFFFFFFFUL); }, CheckUnsure},
    {"ZipEntryCountWrong", FormatZip, [] { return ZipWithEnd(10, 3, 2); }, CheckFailed},
    {"ZipDirectorySizeWrong", FormatZip, [] { return ZipWithEnd(12, 1, 4); }, CheckFailed},
    {"ZipDirectoryOffset2To31", FormatZip, [] { return ZipWithEnd(16, 0x80000000UL, 4); }, CheckFailed},
    {"ZipCommentPastEnd", FormatZip, [] { return ZipWithEnd(20, 0xFFFF, 2); }, CheckFailed},
    {"GzipPlain", FormatGzip, GzipPlain, CheckPassed},
    {"GzipHeaderCrcRight", FormatGzip, [] { return GzipHeaderCrc(true); }, CheckPassed},
    {"GzipHeaderCrcWrong", FormatGzip, [] { return GzipHeaderCrc(false); }, CheckFailed},
    {"GzipExtraPastEnd", FormatGzip, GzipExtraPastEnd, CheckFailed},
    {"GzipReservedFlag", FormatGzip, GzipReservedFlag, CheckFailed},
    {"GzipUnendedName", FormatGzip, GzipUnendedName, CheckFailed},
    {"GzipTrailingJunk", FormatGzip, GzipTrailingJunk, CheckFailed},
    {"Mp3FreeFormat", FormatMp3, Mp3FreeFormat, CheckUnsure},
    {"Mp3SampleRateChange", FormatMp3, Mp3RateChange, CheckFailed},
    {"Mp3Ape", FormatMp3, Mp3Ape, CheckPassed},
    {"Mp3ApeSize2To31", FormatMp3, Mp3ApeSize2To31, CheckFailed},
    {"Mp3Lyrics", FormatMp3, Mp3Lyrics, CheckPassed},
    {"Mp3Id3PastEnd", FormatMp3, Mp3Id3PastEnd, CheckFailed},
    {"Mp3TagOnly", FormatMp3, Mp3TagOnly, CheckFailed},
};

class MadeFiles : public ::testing::TestWithParam<MadeRow> {};

// Nothing in these says a CR must stay (they hold no CR LF pair): the search finds no evidence.
TEST_P(MadeFiles, CheckAsTheRowSaysAndNoEvidence) {
    const MadeRow& row = GetParam();
    const Bytes bytes = row.make();
    ExpectCheck(row.format, bytes, row.check, "as made");
    static KeptPairs kept;
    EXPECT_EQ(Search(row.format, bytes, &kept), SearchNoEvidence);
}

INSTANTIATE_TEST_SUITE_P(ZipGzipMp3, MadeFiles, ::testing::ValuesIn(MadeRows),
                         [](const ::testing::TestParamInfo<MadeRow>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Samples, ZipGzipMp3Walkers, ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace

// The PNG, Ogg and FLAC walkers on real files (samples.h): healthy, damaged either way,
// and broken before the damage. Each row: what the check says of the bytes as picked and
// of their plain repair, what the search says, and for a decided file that keeping the
// CRs it found gives back the original byte for byte.
#include <gtest/gtest.h>

#include <cstdio>

#include "formats.h"
#include "pair_search.h"
#include "samples.h"
#include "test_support.h"

namespace {

enum Damage { Undamaged, EveryLineFeed, LoneLineFeeds };
enum Breakage { Whole, BadCrc, CutOff };
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
};

// A byte in the middle changed, neither CR nor LF before or after: the CRC covering it fails.
Bytes Broken(const Bytes& original, Breakage broken) {
    Bytes bytes = original;
    if (broken == CutOff) bytes.resize(bytes.size() * 2 / 3);
    if (broken != BadCrc) return bytes;
    size_t at = bytes.size() / 2;
    while (bytes[at] == 0x0A || bytes[at] == 0x0D || (bytes[at] ^ 0x01) == 0x0A || (bytes[at] ^ 0x01) == 0x0D) ++at;
    bytes[at] ^= 0x01;
    return bytes;
}

Bytes Damaged(const Bytes& original, Damage damage) {
    if (damage == EveryLineFeed) return DamageEveryLineFeed(original);
    if (damage == LoneLineFeeds) return DamageLoneLineFeeds(original);
    return original;
}

// The check fed in blocks of one size; every size must give the same verdict.
CheckVerdict CheckInBlocks(FileFormat format, const Bytes& bytes, size_t block) {
    static FormatCheck check;
    StartFormatCheck(&check, format);
    for (size_t at = 0; at < bytes.size(); at += block)
        CheckFormatBytes(&check, bytes.data() + at, std::min(block, bytes.size() - at));
    return FinishFormatCheck(&check);
}

void ExpectCheck(FileFormat format, const Bytes& bytes, CheckVerdict expected, const char* what) {
    for (size_t block : {size_t(1), size_t(7), size_t(4096), bytes.size() + 1})
        EXPECT_EQ(CheckInBlocks(format, bytes, block), expected) << what << ", blocks of " << block;
}

// The picked file with the CR of every pair dropped but those kept.
Bytes RepairKeeping(const Bytes& picked, const KeptPairs& kept) {
    Bytes out;
    size_t next = 0;
    for (size_t i = 0; i < picked.size(); ++i) {
        const bool pairCr = picked[i] == 0x0D && i + 1 < picked.size() && picked[i + 1] == 0x0A;
        const bool keptCr = next < kept.count && kept.at[next] == i;
        if (keptCr) ++next;
        if (!pairCr || keptCr) out.push_back(picked[i]);
    }
    EXPECT_EQ(next, kept.count) << "kept CRs that are not the CR of a pair, or not ascending";
    return out;
}

SearchVerdict Search(FileFormat format, const Bytes& picked, KeptPairs* kept) {
    FILE* file = std::tmpfile();
    if (file == nullptr) {
        ADD_FAILURE() << "no temporary file";
        return SearchNoEvidence;
    }
    EXPECT_EQ(std::fwrite(picked.data(), 1, picked.size(), file), picked.size());
    const PickedBytes bytes = {file, picked.size()};
    const SearchVerdict verdict = SearchKeptPairs(format, &bytes, kept);
    EXPECT_EQ(std::fclose(file), 0);
    return verdict;
}

class FormatWalkers : public ::testing::TestWithParam<FormatRow> {};

TEST_P(FormatWalkers, ChecksAndSearchAsTheRowSays) {
    const FormatRow& row = GetParam();
    const Bytes& sample = Sample(row.sample);
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

}  // namespace

// What the format walkers' tests share: the damage, the check fed in blocks, the search
// through a file, and the repair a search's kept CRs give.
#include "format_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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
    for (size_t block : {size_t(1), size_t(3), size_t(7), size_t(4096), bytes.size() + 1})
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

// What the format walkers' tests share: the damage, the check fed in blocks, the search
// through a file, and the repair a search's kept CRs give.
#include "format_test_support.h"

#include "own_crcs.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <random>

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

static void AppendPngChunk(Bytes* png, const char* type, const Bytes& data) {
    Bytes chunk(type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const unsigned long crc = crc32(0, chunk.data(), static_cast<uInt>(chunk.size()));
    const unsigned long length = static_cast<unsigned long>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) png->push_back(static_cast<unsigned char>(length >> shift));
    png->insert(png->end(), chunk.begin(), chunk.end());
    for (int shift = 24; shift >= 0; shift -= 8) png->push_back(static_cast<unsigned char>(crc >> shift));
}

Bytes PngOfNoise(size_t size) {
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes png(signature, signature + sizeof signature);
    AppendPngChunk(&png, "IHDR", Bytes{0, 0, 4, 0, 0, 0, 4, 0, 8, 2, 0, 0, 0});
    std::mt19937 random(96);
    Bytes data(8 << 10);  // what most encoders write
    while (png.size() < size) {
        for (unsigned char& byte : data) byte = static_cast<unsigned char>(random());
        AppendPngChunk(&png, "IDAT", data);
    }
    AppendPngChunk(&png, "IEND", Bytes());
    return png;
}

// Pages of 255 segments of 255 bytes of noise, numbered, their CRCs in place.
Bytes OggOfNoise(size_t size) {
    std::mt19937 random(97);
    Bytes ogg;
    for (unsigned page = 0; ogg.size() < size; ++page) {
        Bytes header = {'O', 'g', 'g', 'S', 0, static_cast<unsigned char>(page == 0 ? 2 : 0)};
        header.resize(27 + 255, 255);
        for (size_t i = 6; i < 26; ++i) header[i] = 0;
        for (int i = 0; i < 4; ++i) header[18 + i] = static_cast<unsigned char>(page >> (8 * i));
        header[26] = 255;
        Bytes body(255 * 255);
        for (unsigned char& byte : body) byte = static_cast<unsigned char>(random());
        const unsigned long crc = OggCrc(OggCrc(0, header.data(), header.size()), body.data(), body.size());
        for (int i = 0; i < 4; ++i) header[22 + i] = static_cast<unsigned char>(crc >> (8 * i));
        ogg.insert(ogg.end(), header.begin(), header.end());
        ogg.insert(ogg.end(), body.begin(), body.end());
    }
    return ogg;
}

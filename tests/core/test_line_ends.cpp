// The CR LF mapping on byte tables, whole and cut into blocks at every place.
#include <gtest/gtest.h>

#include <random>

#include "convert.h"
#include "test_support.h"

namespace {

struct ByteCase {
    const char* name;
    std::string input;
    std::string expected;
};

const ByteCase ByteCases[] = {
    {"example", std::string("\x41\r\n\r\r\n\n\r"), std::string("\x41\n\r\n\n\r")},
    {"empty", "", ""},
    {"no_pairs", "abc\n\rdef\n", "abc\n\rdef\n"},
    {"starts_with_lf", "\nabc", "\nabc"},
    {"cr_cr_lf", "\r\r\n", "\r\n"},
    {"cr_lf_lf", "\r\n\n", "\n\n"},
    {"lf_cr", "\n\r", "\n\r"},
    {"trailing_cr", "ab\r", "ab\r"},
    {"only_crs", "\r\r\r", "\r\r\r"},
    {"pairs_only", "\r\n\r\n\r\n", "\n\n\n"},
    {"ff_bytes", "\xff\r\n\xff\x1a\xff", "\xff\n\xff\x1a\xff"},
    {"nul_bytes", std::string("\0\r\n\0\r", 5), std::string("\0\n\0\r", 4)},
    {"text_lines", "one\r\ntwo\r\n\r\nthree", "one\ntwo\n\nthree"},
};

// Feeds input to the block loop in pieces of the given sizes (the last repeats).
Bytes RestoreInPieces(const Bytes& input, const std::vector<size_t>& pieces) {
    Bytes output;
    bool crHeld = false;
    size_t done = 0;
    size_t piece = 0;
    while (done < input.size()) {
        size_t size = std::min(pieces[std::min(piece, pieces.size() - 1)], input.size() - done);
        Bytes out(size + 1);
        size_t put = RestoreLineEnds(input.data() + done, size, out.data(), &crHeld);
        output.insert(output.end(), out.begin(), out.begin() + static_cast<long>(put));
        done += size;
        ++piece;
    }
    if (crHeld) output.push_back('\r');
    return output;
}

TEST(RestoreLineEnds, ByteTablesInOneBlock) {
    for (const ByteCase& c : ByteCases) {
        const Bytes input = ToBytes(c.input);
        EXPECT_EQ(RestoreInPieces(input, {input.size() + 1}), ToBytes(c.expected)) << c.name;
        EXPECT_EQ(ReferenceRestore(input), ToBytes(c.expected)) << c.name << " (reference)";
    }
}

TEST(RestoreLineEnds, ByteTablesCutAtEveryPlace) {
    for (const ByteCase& c : ByteCases) {
        const Bytes input = ToBytes(c.input);
        for (size_t cut = 1; cut < input.size(); ++cut) {
            EXPECT_EQ(RestoreInPieces(input, {cut, input.size()}), ToBytes(c.expected))
                << c.name << " cut after " << cut;
        }
        EXPECT_EQ(RestoreInPieces(input, {1}), ToBytes(c.expected)) << c.name << " byte by byte";
    }
}

TEST(RestoreLineEnds, RandomCrLfRichInputMatchesReference) {
    std::mt19937 random(1995);
    const unsigned char alphabet[] = {'\r', '\n', '\r', 'a', 0xFF, 0x00};
    for (int round = 0; round < 300; ++round) {
        Bytes input(random() % 200);
        for (unsigned char& byte : input) byte = alphabet[random() % sizeof alphabet];
        std::vector<size_t> pieces = {1 + random() % 7, 1 + random() % 13, 1 + random() % 5};
        ASSERT_EQ(RestoreInPieces(input, pieces), ReferenceRestore(input)) << "round " << round;
    }
}

// Long blocks take the sixteen-bytes-at-a-time path; pairs land on every lane,
// on chunk edges, and several in one chunk.
TEST(RestoreLineEnds, LongBlocksWithDensePairsMatchReference) {
    std::mt19937 random(95);
    const unsigned char alphabet[] = {'\r', '\n', '\r', '\n', 'a', 0xFF};
    for (int round = 0; round < 200; ++round) {
        Bytes input(100 + random() % 3000);
        for (unsigned char& byte : input) byte = alphabet[random() % sizeof alphabet];
        std::vector<size_t> pieces = {47 + random() % 40, 48 + random() % 500, 64 + random() % 2000};
        ASSERT_EQ(RestoreInPieces(input, pieces), ReferenceRestore(input)) << "round " << round;
    }
    for (size_t at = 0; at < 64; ++at) {
        Bytes input(96, 'x');
        input[at] = '\r';
        input[at + 1] = '\n';
        ASSERT_EQ(RestoreInPieces(input, {input.size()}), ReferenceRestore(input)) << "pair at " << at;
    }
}

}  // namespace

// The CR LF mapping on byte tables, whole and cut into blocks at every place, through
// every path this CPU has (bytes, SSE2, AVX2), into a second buffer and in place.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "convert.h"
#include "platform.h"
#include "test_support.h"
#include "under_test.h"

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

// The repaired bytes, whether the block loop met an LF without its CR, and how many
// pairs it met, and of them CR CR LF.
struct Restored {
    Bytes bytes;
    bool loneLineFeed;
    unsigned long long pairs;
    unsigned long long crPairs;
    bool operator==(const Restored& other) const {
        return bytes == other.bytes && loneLineFeed == other.loneLineFeed && pairs == other.pairs &&
               crPairs == other.crPairs;
    }
};

void PrintTo(const Restored& restored, std::ostream* out) {
    *out << ::testing::PrintToString(restored.bytes) << (restored.loneLineFeed ? " with a lone LF" : "") << ", "
         << restored.pairs << " pairs, " << restored.crPairs << " after a CR";
}

// The one-byte-at-a-time repair; the lone LF and the pairs told by looking back.
Restored Reference(const Bytes& input) {
    Restored told = {ReferenceRestore(input), false, 0, 0};
    for (size_t i = 0; i < input.size(); ++i) {
        if (input[i] != '\n') continue;
        const bool paired = i > 0 && input[i - 1] == '\r';
        told.loneLineFeed = told.loneLineFeed || !paired;
        told.pairs += paired;
        told.crPairs += paired && i > 1 && input[i - 2] == '\r';
    }
    return told;
}

Restored Expected(const ByteCase& c) {
    Restored told = Reference(ToBytes(c.input));
    told.bytes = ToBytes(c.expected);
    return told;
}

// Feeds input to the block loop in pieces of the given sizes (the last repeats),
// each piece repaired into a buffer of its own or where it lies, as CopyRestoring does.
Restored RestoreInPieces(const Bytes& input, const std::vector<size_t>& pieces, bool inPlace = false) {
    Bytes output;
    RestoreState state = {};
    size_t done = 0;
    size_t piece = 0;
    while (done < input.size()) {
        size_t size = std::min(pieces[std::min(piece, pieces.size() - 1)], input.size() - done);
        Bytes block(size + 1), out(size + 1);
        std::copy(input.begin() + static_cast<long>(done), input.begin() + static_cast<long>(done + size),
                  block.begin() + 1);
        Bytes& into = inPlace ? block : out;
        size_t put = RestoreLineEnds(block.data() + 1, size, into.data(), &state);
        output.insert(output.end(), into.begin(), into.begin() + static_cast<long>(put));
        done += size;
        ++piece;
    }
    if (state.crHeld) output.push_back('\r');
    return {output, state.loneLineFeed, state.pairs, state.crPairs};
}

// Every width the CPU has, each into a second buffer and in place.
struct Way {
    RestoreWidth width;
    bool inPlace;
};

std::vector<Way> EveryWay() {
    std::vector<Way> ways;
    for (int width = RestoreBytes; width <= WidestRestoreWidth(); ++width) {
        ways.push_back({static_cast<RestoreWidth>(width), false});
        ways.push_back({static_cast<RestoreWidth>(width), true});
    }
    return ways;
}

std::string Describe(const Way& way) {
    return std::string(RestoreWidthName(way.width)) + (way.inPlace ? " in place" : " into a second buffer");
}

// Runs check once per way, the width held for it, and gives back the width in force.
template <typename Check>
void ForEachWay(Check check) {
    const RestoreWidth before = RestoreWidthInForce();
    for (const Way& way : EveryWay()) {
        ASSERT_EQ(LimitRestoreWidth(way.width), way.width);
        check(way);
    }
    LimitRestoreWidth(before);
}

// The wide paths only where the system saves their registers. Linux and Wine do; a test
// build answering as Windows 95 must get the byte loop whatever the CPU has.
TEST(RestoreWidth, WidePathsOnlyWhereTheSystemSavesVectorState) {
    if (std::strcmp(AnsweredAs, "95") == 0) {
        EXPECT_FALSE(SystemSavesVectorState());
        EXPECT_EQ(RestoreBytes, WidestRestoreWidth());
        const RestoreWidth before = RestoreWidthInForce();
        EXPECT_EQ(RestoreBytes, LimitRestoreWidth(RestoreAvx2));
        LimitRestoreWidth(before);
        return;
    }
    EXPECT_TRUE(SystemSavesVectorState());
#if defined(__x86_64__)
    EXPECT_NE(RestoreBytes, WidestRestoreWidth()) << "every x86_64 CPU has SSE2";
#endif
}

TEST(RestoreLineEnds, ByteTablesInOneBlock) {
    for (const ByteCase& c : ByteCases)
        EXPECT_EQ(ReferenceRestore(ToBytes(c.input)), ToBytes(c.expected)) << c.name << " (reference)";
    ForEachWay([](const Way& way) {
        for (const ByteCase& c : ByteCases) {
            const Bytes input = ToBytes(c.input);
            EXPECT_EQ(RestoreInPieces(input, {input.size() + 1}, way.inPlace), Expected(c))
                << c.name << ", " << Describe(way);
        }
    });
}

TEST(RestoreLineEnds, ByteTablesCutAtEveryPlace) {
    ForEachWay([](const Way& way) {
        for (const ByteCase& c : ByteCases) {
            const Bytes input = ToBytes(c.input);
            for (size_t cut = 1; cut < input.size(); ++cut) {
                EXPECT_EQ(RestoreInPieces(input, {cut, input.size()}, way.inPlace), Expected(c))
                    << c.name << " cut after " << cut << ", " << Describe(way);
            }
            EXPECT_EQ(RestoreInPieces(input, {1}, way.inPlace), Expected(c))
                << c.name << " byte by byte, " << Describe(way);
        }
    });
}

TEST(RestoreLineEnds, RandomCrLfRichInputMatchesReference) {
    ForEachWay([](const Way& way) {
        std::mt19937 random(1995);
        const unsigned char alphabet[] = {'\r', '\n', '\r', 'a', 0xFF, 0x00};
        for (int round = 0; round < 300; ++round) {
            Bytes input(random() % 200);
            for (unsigned char& byte : input) byte = alphabet[random() % sizeof alphabet];
            std::vector<size_t> pieces = {1 + random() % 7, 1 + random() % 13, 1 + random() % 5};
            ASSERT_EQ(RestoreInPieces(input, pieces, way.inPlace), Reference(input))
                << "round " << round << ", " << Describe(way);
        }
    });
}

// Long blocks take the wide paths (16 and 32 bytes a chunk); pairs land on every
// lane, across chunk edges, at the block's end, and several in one chunk.
TEST(RestoreLineEnds, LongBlocksDenseAndSparseMatchReference) {
    ForEachWay([](const Way& way) {
        std::mt19937 random(95);
        const unsigned char alphabet[] = {'\r', '\n', '\r', '\n', 'a', 0xFF};
        for (int round = 0; round < 200; ++round) {
            // Odd rounds sparse, as in binary data: long stretches without a pair.
            const unsigned sparseness = round % 2 ? 60 : 1;
            Bytes input(100 + random() % 3000);
            for (unsigned char& byte : input)
                byte = random() % sparseness == 0 ? alphabet[random() % sizeof alphabet] : 'b';
            std::vector<size_t> pieces = {47 + random() % 40, 48 + random() % 500, 64 + random() % 2000};
            ASSERT_EQ(RestoreInPieces(input, pieces, way.inPlace), Reference(input))
                << "round " << round << ", " << Describe(way);
        }
    });
}

TEST(RestoreLineEnds, OnePairAtEveryPlaceOfABlock) {
    ForEachWay([](const Way& way) {
        for (size_t at = 0; at + 1 < 130; ++at) {
            Bytes input(130, 'x');
            input[at] = '\r';
            input[at + 1] = '\n';
            ASSERT_EQ(RestoreInPieces(input, {input.size()}, way.inPlace), Reference(input))
                << "pair at " << at << ", " << Describe(way);
        }
    });
}

// Two pairs at every two places, with lone CRs around them: every mask of two
// pairs in a group, and pairs in neighbouring groups and chunks.
TEST(RestoreLineEnds, TwoPairsAtEveryTwoPlacesOfABlock) {
    ForEachWay([](const Way& way) {
        for (size_t first = 0; first + 1 < 70; ++first) {
            for (size_t second = first + 2; second + 1 < 70; ++second) {
                Bytes input(70, '\r');
                input[first + 1] = '\n';
                input[second + 1] = '\n';
                ASSERT_EQ(RestoreInPieces(input, {input.size()}, way.inPlace), Reference(input))
                    << "pairs at " << first << " and " << second << ", " << Describe(way);
            }
        }
    });
}

}  // namespace

// The check for an LF without its CR sees every place of a block on every path, and
// across the cut between blocks: a CR ending one block and the LF starting the next
// are a pair, a lone LF starting a block is not.
TEST(RestoreLineEnds, LoneLineFeedAtEveryPlaceOfABlockAndAcrossTheCut) {
    ForEachWay([](const Way& way) {
        for (size_t at = 0; at < 150; ++at) {
            for (bool paired : {false, true}) {
                Bytes input(150, 'x');
                input[at] = '\n';
                if (paired && at > 0) input[at - 1] = '\r';
                for (const std::vector<size_t>& pieces : {std::vector<size_t>{150}, {at ? at : 1, 150}}) {
                    ASSERT_EQ(RestoreInPieces(input, pieces, way.inPlace), Reference(input))
                        << "LF at " << at << (paired ? " after a CR" : "") << ", first piece " << pieces[0]
                        << ", " << Describe(way);
                }
            }
        }
    });
}

// Tells the two kinds of damage apart from the counts and the format's checks of the
// repair's pass, and asks the format's search only where that is needed: a file whose
// plain repair passes its checks never takes a second pass.
#include "damage_kind.h"

#include <cmath>
#include <cstring>

// The start of every block is enough to tell random-looking bytes from text, at a cost
// the pass does not notice.
static const size_t SampledPerBlock = 64 * 1024;

// Four tables, so that runs of one byte value do not wait on one counter.
static void CountByteValues(unsigned long long* counts, const unsigned char* bytes, size_t n) {
    unsigned tables[4][256] = {};  // n is at most SampledPerBlock: the counts fit
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++tables[0][bytes[i]];
        ++tables[1][bytes[i + 1]];
        ++tables[2][bytes[i + 2]];
        ++tables[3][bytes[i + 3]];
    }
    for (; i < n; ++i) ++tables[0][bytes[i]];
    for (unsigned value = 0; value < 256; ++value)
        counts[value] += tables[0][value] + tables[1][value] + tables[2][value] + tables[3][value];
}

void StartEvidence(DamageEvidence* evidence) {
    std::memset(evidence, 0, sizeof *evidence);
}

void NotePickedBlock(DamageEvidence* evidence, const unsigned char* bytes, size_t n) {
    if (!evidence->started) {
        evidence->started = true;
        evidence->format = FormatOfFirstBytes(bytes, n);
        StartFormatCheck(&evidence->picked, evidence->format);
        StartFormatCheck(&evidence->repaired, evidence->format);
    }
    evidence->read += n;
    const size_t sample = n < SampledPerBlock ? n : SampledPerBlock;
    CountByteValues(evidence->sampled, bytes, sample);
    evidence->sampledBytes += sample;
    CheckFormatBytes(&evidence->picked, bytes, n);
}

void NoteRepairedBlock(DamageEvidence* evidence, const unsigned char* bytes, size_t n) {
    CheckFormatBytes(&evidence->repaired, bytes, n);
}

void FinishEvidence(DamageEvidence* evidence, const RestoreState& state) {
    if (!evidence->started) {  // an empty file: nothing to tell
        evidence->started = true;
        StartFormatCheck(&evidence->picked, FormatUnknown);
        StartFormatCheck(&evidence->repaired, FormatUnknown);
    }
    evidence->pairs = state.pairs;
    evidence->crPairs = state.crPairs;
}

double SampledEntropy(const DamageEvidence& evidence) {
    if (evidence.sampledBytes == 0) return 0;
    const double total = static_cast<double>(evidence.sampledBytes);
    double bits = 0;
    for (unsigned long long count : evidence.sampled) {
        if (count == 0) continue;
        const double p = static_cast<double>(count) / total;
        bits -= p * std::log2(p);
    }
    return bits;
}

// Measured on thousands of files of every sort, damaged either way: at most one CR CR LF
// in 2048 pairs (and one in any file) told the second kind with no false alarm.
static unsigned long long CrPairsOfSecondKind(const DamageEvidence& evidence) {
    return evidence.pairs / 2048 > 1 ? evidence.pairs / 2048 : 1;
}

CountVerdict CountOfPairs(const DamageEvidence& evidence) {
    if (evidence.pairs < CountedLineFeeds || SampledEntropy(evidence) < RandomLookingBits) return CountCannotTell;
    return evidence.crPairs <= CrPairsOfSecondKind(evidence) ? CountSaysSecondKind : CountSaysFirstKind;
}

// Below the size the count decides at, CR CR LF standing at more places than the second
// kind leaves still says the first: in random-looking bytes that kind leaves one only
// where the file held CR CR LF itself, about once in 65,536 LFs, where the first leaves
// one for every CR LF of the file's own, about once in 256. Text may hold CR CR LF of
// its own anywhere: there it says nothing.
static bool PairsLeanFirstKind(const DamageEvidence& evidence) {
    return evidence.crPairs > CrPairsOfSecondKind(evidence) && SampledEntropy(evidence) >= RandomLookingBits;
}

RepairVerdict DecideRepair(DamageEvidence* evidence, const PickedBytes* picked, KeptPairs* kept) {
    kept->count = 0;
    const CheckVerdict asPicked = FinishFormatCheck(&evidence->picked);
    const CheckVerdict asRepaired = FinishFormatCheck(&evidence->repaired);
    if (asRepaired == CheckPassed || evidence->pairs == 0) return RepairPlain;
    if (asPicked == CheckPassed) return RepairNotDamaged;
    const CountVerdict count = CountOfPairs(*evidence);
    if (evidence->format == FormatUnknown) return count == CountSaysSecondKind ? RepairUndecided : RepairPlain;
    // A check given up unfinished (a large gzip) leaves it to the count where the count
    // can tell: the search would cost another pass for nothing.
    if (asRepaired == CheckUnsure && count == CountSaysFirstKind) return RepairPlain;
    switch (SearchKeptPairs(evidence->format, picked, kept)) {
        case SearchDecided: return RepairKeepingPairs;
        // A file broken before it was damaged the first way leaves the search undecided
        // too (a frame no way mends): the CR CR LF the first kind leaves tell it.
        case SearchUndecided:
        case SearchBlind: return PairsLeanFirstKind(*evidence) ? RepairPlain : RepairUndecided;
        case SearchNoEvidence: break;
    }
    return count == CountSaysSecondKind ? RepairUndecided : RepairPlain;
}

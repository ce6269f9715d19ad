// FLAC subframes, read to the bit. Checks, per channel in order:
//
//   what is read                  what must hold
//   subframe header (8 bits)      a zero bit; type CONSTANT, VERBATIM, FIXED of order 0
//                                 to 4 or LPC of order 1 to 32 (no reserved type)
//   wasted bits flag, unary       fewer wasted bits than the channel's sample bits
//   samples (CONSTANT, VERBATIM,  the channel's bits each: the frame's sample size, one
//   warm-up)                      more for a side channel, less the wasted bits
//   LPC precision, shift          precision not 15 (reserved), shift not negative
//   residual                      coding 0 (4-bit Rice parameters) or 1 (5-bit); a
//                                 partition order that divides the block into parts of
//                                 at least the predictor's order; each part's parameter,
//                                 or the escape and its raw sample bits
//   every decoded sample          within the channel's bits, the prediction worked out
//                                 exactly in 64 bits
//   after the last channel        zero bits to the byte, and then exactly the CRC-16
// and, when an MD5 is asked for, the samples decoded (wasted bits and the stereo
// channels' sums put back) are added to it.
// Every read is checked against the bits left; nothing is read past the frame.
#include "flac_subframes.h"

#include "md5.h"

#include <cstring>

namespace {

const unsigned MaxOrder = 32;
const unsigned LeftSide = 8, RightSide = 9, MidSide = 10;

struct BitReader {
    const unsigned char* bytes;
    unsigned long long at;   // bits read
    unsigned long long end;  // bits there are
};

bool ReadBits(BitReader* in, unsigned n, unsigned long long* value) {
    if (n > in->end - in->at) return false;
    unsigned long long v = 0;
    for (unsigned i = 0; i < n; ++i, ++in->at)
        v = v << 1 | ((in->bytes[in->at >> 3] >> (7 - (in->at & 7))) & 1);
    *value = v;
    return true;
}

bool ReadSigned(BitReader* in, unsigned n, long long* value) {
    unsigned long long raw = 0;
    if (!ReadBits(in, n, &raw)) return false;
    *value = n > 0 && (raw >> (n - 1)) != 0 ? static_cast<long long>(raw) - (1LL << (n - 1)) * 2
                                            : static_cast<long long>(raw);
    return true;
}

// Zeros up to the next one bit, which is read too.
bool ReadUnary(BitReader* in, unsigned long long* zeros) {
    unsigned long long count = 0;
    for (;;) {
        unsigned long long bit = 0;
        if (!ReadBits(in, 1, &bit)) return false;
        if (bit != 0) break;
        ++count;
    }
    *zeros = count;
    return true;
}

struct Channel {
    unsigned bits;      // of each coded sample
    long long low, high;
    unsigned order;     // FIXED or LPC; 0 for neither
    bool lpc;
    long long coefficient[MaxOrder];
    unsigned shift;
    long long recent[MaxOrder];  // the last order samples, newest first
    int* out;                    // the decoded samples, when an MD5 is asked for
    unsigned long long count, limit;
    unsigned wasted;
};

const unsigned long long MaxBlockSize = 1ULL << 16;
const unsigned MaxChannels = 8;
int decoded[MaxChannels][MaxBlockSize];  // only for an MD5: a block's samples, per channel

bool Remember(Channel* ch, long long sample) {
    if (sample < ch->low || sample > ch->high) return false;
    if (ch->out != nullptr) {
        if (ch->count >= ch->limit) return false;
        ch->out[ch->count++] = static_cast<int>(sample * (1LL << ch->wasted));
    }
    if (ch->order == 0) return true;
    for (unsigned i = ch->order - 1; i > 0; --i) ch->recent[i] = ch->recent[i - 1];
    ch->recent[0] = sample;
    return true;
}

long long Predicted(const Channel* ch) {
    const long long* s = ch->recent;
    if (!ch->lpc) {
        switch (ch->order) {
            case 1: return s[0];
            case 2: return 2 * s[0] - s[1];
            case 3: return 3 * s[0] - 3 * s[1] + s[2];
            case 4: return 4 * s[0] - 6 * s[1] + 4 * s[2] - s[3];
            default: return 0;
        }
    }
    long long sum = 0;
    for (unsigned j = 0; j < ch->order; ++j) sum += ch->coefficient[j] * s[j];
    // Floor division by 2^shift, as an arithmetic shift does, without relying on one.
    const long long unit = 1LL << ch->shift;
    return sum >= 0 ? sum / unit : -((-sum + unit - 1) / unit);
}

bool ReadSamples(BitReader* in, Channel* ch, unsigned long long count) {
    for (unsigned long long i = 0; i < count; ++i) {
        long long sample = 0;
        if (!ReadSigned(in, ch->bits, &sample) || !Remember(ch, sample)) return false;
    }
    return true;
}

bool ReadResidualValue(BitReader* in, unsigned parameter, long long* value) {
    unsigned long long quotient = 0, low = 0;
    // A quotient this long cannot come from samples of at most 33 bits.
    if (!ReadUnary(in, &quotient) || quotient >> (40 - parameter) != 0 || !ReadBits(in, parameter, &low)) return false;
    const unsigned long long folded = quotient << parameter | low;
    *value = (folded & 1) != 0 ? -static_cast<long long>(folded >> 1) - 1 : static_cast<long long>(folded >> 1);
    return true;
}

bool ReadPartition(BitReader* in, Channel* ch, unsigned parameterBits, unsigned long long count) {
    unsigned long long parameter = 0;
    if (!ReadBits(in, parameterBits, &parameter)) return false;
    const bool escaped = parameter == (1ULL << parameterBits) - 1;
    unsigned long long rawBits = 0;
    if (escaped && !ReadBits(in, 5, &rawBits)) return false;
    for (unsigned long long i = 0; i < count; ++i) {
        long long residual = 0;
        const bool read = escaped ? ReadSigned(in, static_cast<unsigned>(rawBits), &residual)
                                  : ReadResidualValue(in, static_cast<unsigned>(parameter), &residual);
        if (!read || !Remember(ch, Predicted(ch) + residual)) return false;
    }
    return true;
}

bool ReadResidual(BitReader* in, Channel* ch, unsigned long long blockSize) {
    unsigned long long coding = 0, partitionOrder = 0;
    if (!ReadBits(in, 2, &coding) || coding > 1 || !ReadBits(in, 4, &partitionOrder)) return false;
    const unsigned long long part = blockSize >> partitionOrder;
    if (part << partitionOrder != blockSize || part < ch->order) return false;
    for (unsigned long long p = 0; p < (1ULL << partitionOrder); ++p)
        if (!ReadPartition(in, ch, coding == 0 ? 4 : 5, p == 0 ? part - ch->order : part)) return false;
    return true;
}

bool ReadLpcHead(BitReader* in, Channel* ch) {
    unsigned long long precision = 0;
    long long shift = 0;
    if (!ReadBits(in, 4, &precision) || precision == 15 || !ReadSigned(in, 5, &shift) || shift < 0) return false;
    for (unsigned j = 0; j < ch->order; ++j)
        if (!ReadSigned(in, static_cast<unsigned>(precision) + 1, &ch->coefficient[j])) return false;
    ch->shift = static_cast<unsigned>(shift);
    return true;
}

bool ReadSubframe(BitReader* in, unsigned channelBits, unsigned long long blockSize, int* out) {
    unsigned long long head = 0, wasted = 0;
    if (!ReadBits(in, 8, &head) || (head & 0x80) != 0) return false;
    if ((head & 1) != 0) {
        if (!ReadUnary(in, &wasted)) return false;
        ++wasted;
    }
    if (wasted >= channelBits) return false;
    static Channel ch;
    ch = Channel();
    ch.bits = channelBits - static_cast<unsigned>(wasted);
    ch.high = (1LL << (ch.bits - 1)) - 1;
    ch.low = -ch.high - 1;
    ch.out = out;
    ch.limit = blockSize;
    ch.wasted = static_cast<unsigned>(wasted);
    const unsigned type = static_cast<unsigned>(head >> 1) & 0x3F;
    if (type == 0) {
        if (!ReadSamples(in, &ch, 1)) return false;
        for (unsigned long long i = 1; out != nullptr && i < blockSize; ++i) out[i] = out[0];
        return true;
    }
    if (type == 1) return ReadSamples(in, &ch, blockSize);
    if (type >= 8 && type <= 12) {
        ch.order = type - 8;
    } else if (type >= 32) {
        ch.order = type - 31;
        ch.lpc = true;
    } else {
        return false;
    }
    if (blockSize < ch.order || !ReadSamples(in, &ch, ch.order)) return false;
    if (ch.lpc && !ReadLpcHead(in, &ch)) return false;
    return ReadResidual(in, &ch, blockSize);
}

// The block's samples, channel by channel in decoded[], to the MD5 sample by sample.
void AddBlockToMd5(Md5* md5, const FlacFrameShape* shape, unsigned channels) {
    unsigned char bytes[4096];
    size_t have = 0;
    const unsigned width = (shape->sampleBits + 7) / 8;
    for (unsigned long long i = 0; i < shape->blockSize; ++i) {
        long long value[MaxChannels];
        for (unsigned c = 0; c < channels; ++c) value[c] = decoded[c][i];
        if (shape->channelCode == LeftSide) {
            value[1] = value[0] - value[1];
        } else if (shape->channelCode == RightSide) {
            value[0] += value[1];
        } else if (shape->channelCode == MidSide) {
            const long long mid = value[0] * 2 + (value[1] & 1), side = value[1];
            // Halves of even sums: exact, whatever the sign.
            value[0] = (mid + side) / 2;
            value[1] = (mid - side) / 2;
        }
        for (unsigned c = 0; c < channels; ++c) {
            if (have + width > sizeof bytes) {
                AddToMd5(md5, bytes, have);
                have = 0;
            }
            const unsigned long long raw = static_cast<unsigned long long>(value[c]);
            for (unsigned b = 0; b < width; ++b) bytes[have++] = static_cast<unsigned char>(raw >> (8 * b));
        }
    }
    AddToMd5(md5, bytes, have);
}

}  // namespace

unsigned FlacSampleBitsOfCode(unsigned code) {
    static const unsigned bits[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    return code < 8 ? bits[code] : 0;
}

bool FlacSubframesFit(const unsigned char* frame, size_t length, size_t headerLength, const FlacFrameShape* shape,
                      Md5* md5) {
    if (length < headerLength + 2 || shape->sampleBits == 0 || shape->sampleBits > 32 || shape->channelCode > MidSide ||
        shape->blockSize == 0)
        return false;
    if (md5 != nullptr && (shape->sampleBits > FlacMd5MaxSampleBits || shape->blockSize > MaxBlockSize)) return false;
    BitReader in = {frame, static_cast<unsigned long long>(headerLength) * 8,
                    static_cast<unsigned long long>(length - 2) * 8};
    const unsigned channels = shape->channelCode < LeftSide ? shape->channelCode + 1 : 2;
    for (unsigned c = 0; c < channels; ++c) {
        const bool side = (shape->channelCode == RightSide && c == 0) ||
                          ((shape->channelCode == LeftSide || shape->channelCode == MidSide) && c == 1);
        if (!ReadSubframe(&in, shape->sampleBits + (side ? 1 : 0), shape->blockSize,
                          md5 != nullptr ? decoded[c] : nullptr))
            return false;
    }
    unsigned long long padding = 0;
    const unsigned padBits = static_cast<unsigned>((8 - (in.at & 7)) & 7);
    if (!ReadBits(&in, padBits, &padding) || padding != 0 || in.at != in.end) return false;
    if (md5 != nullptr) AddBlockToMd5(md5, shape, channels);
    return true;
}

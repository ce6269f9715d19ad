// FLAC: a frame's subframes read exactly, bit for bit, as a second check beside its
// CRC-16. A way of keeping CRs that puts a byte too many or too few, or in the wrong
// place, shifts every bit after it, and such bits almost never read as valid subframes
// that end exactly where the frame's CRC-16 starts. The checks made stand in
// flac_subframes.cpp.
#ifndef DECRIMP_FLAC_SUBFRAMES_H
#define DECRIMP_FLAC_SUBFRAMES_H

#include <cstddef>

#include "md5.h"

// What the frame header says of the subframes.
struct FlacFrameShape {
    unsigned long long blockSize;  // samples per channel
    unsigned channelCode;          // the header's channel assignment, 0 to 10
    unsigned sampleBits;           // bits per sample, from the header or STREAMINFO
};

// The sample size the header's code gives, or 0 for "from STREAMINFO" and reserved codes.
unsigned FlacSampleBitsOfCode(unsigned code);

// The widest samples whose decoded values FlacSubframesFit adds to an MD5.
const unsigned FlacMd5MaxSampleBits = 24;

// frame holds the whole frame, header first (headerLength bytes) and its CRC-16 last.
// True when the subframes read validly to the zero bits that pad the last byte before
// the CRC-16, every decoded sample within its bits.
// With md5 given, the frame's decoded samples are added to it as well, as STREAMINFO's
// MD5 takes them: each sample little-endian in whole bytes, a sample's channels in turn (false also when
// the samples are wider than FlacMd5MaxSampleBits).
bool FlacSubframesFit(const unsigned char* frame, size_t length, size_t headerLength, const FlacFrameShape* shape,
                      Md5* md5 = nullptr);

#endif

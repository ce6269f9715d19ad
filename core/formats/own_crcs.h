// The CRCs zlib has none of: Ogg's CRC-32 (poly 0x04C11DB7, not reflected, init 0),
// FLAC's CRC-8 (poly 0x07) and CRC-16 (poly 0x8005), both not reflected, init 0, and the
// CRC-16 of a LAME tag in an MP3 (poly 0x8005 reflected, init 0: the bit mirror of FLAC's). The
// checks run them over every byte of a file of their format, so the long ones take
// sixteen bytes a step (slicing tables). Each also shifts a CRC by n zero bytes, which is
// how the search joins the CRCs of pieces without reading them again.
#ifndef DECRIMP_OWN_CRCS_H
#define DECRIMP_OWN_CRCS_H

#include <cstddef>

unsigned long OggCrc(unsigned long crc, const unsigned char* bytes, size_t n);
unsigned FlacCrc16(unsigned crc, const unsigned char* bytes, size_t n);
unsigned FlacCrc8(unsigned crc, const unsigned char* bytes, size_t n);
unsigned LameCrc16(unsigned crc, const unsigned char* bytes, size_t n);  // a byte a step: tags and frames

// crc times x^(8 n) modulo the polynomial: the CRC of the same bytes followed by n zero
// bytes. crc(A B) = Shift(crc(A), |B|) ^ crc(B) for both, since they start from 0.
unsigned long OggCrcShift(unsigned long crc, unsigned long long n);
unsigned FlacCrc16Shift(unsigned crc, unsigned long long n);
unsigned LameCrc16Shift(unsigned crc, unsigned long long n);

#endif

// Ogg's CRC-32 and FLAC's CRC-8 and CRC-16: not reflected and starting from 0, unlike
// zlib's CRC-32, so tables of our own (see own_crcs.h).
#include "own_crcs.h"

namespace {

// One polynomial of width bits, highest bit first, with the tables for sixteen bytes a step.
// Built on first use into process-wide variables: a function's own static would bring in
// the thread-safe guard, and with it thread calls Windows 95 and XP x64 lack.
struct CrcTables {
    unsigned width;
    unsigned long poly;
    unsigned long mask;
    unsigned long slice[16][256];  // slice[k][b]: byte b followed by k zero bytes
    unsigned long power[64];      // x^(2^i) modulo the polynomial
};

unsigned long TimesX(const CrcTables& t, unsigned long value) {
    const bool carry = (value >> (t.width - 1)) & 1;
    value = (value << 1) & t.mask;
    return carry ? value ^ t.poly : value;
}

unsigned long MultiplyModPoly(const CrcTables& t, unsigned long a, unsigned long b) {
    unsigned long product = 0;
    for (unsigned bit = t.width; bit-- > 0;) {
        product = TimesX(t, product);
        if ((b >> bit) & 1) product ^= a;
    }
    return product;
}

void BuildTables(CrcTables* t, unsigned width, unsigned long poly) {
    t->width = width;
    t->poly = poly;
    t->mask = width == 32 ? 0xFFFFFFFFUL : (1UL << width) - 1;
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned long crc = width >= 8 ? static_cast<unsigned long>(byte) << (width - 8) : 0;
        for (int bit = 0; bit < 8; ++bit) crc = TimesX(*t, crc);
        t->slice[0][byte] = crc;
    }
    for (int k = 1; k < 16; ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const unsigned long before = t->slice[k - 1][byte];
            t->slice[k][byte] = ((before << 8) & t->mask) ^ t->slice[0][before >> (width - 8)];
        }
    t->power[0] = 2;  // x
    for (int i = 1; i < 64; ++i) t->power[i] = MultiplyModPoly(*t, t->power[i - 1], t->power[i - 1]);
}

CrcTables OggTable;
bool OggBuilt = false;

const CrcTables& OggTables() {
    if (!OggBuilt) BuildTables(&OggTable, 32, 0x04C11DB7UL);
    OggBuilt = true;
    return OggTable;
}

CrcTables Flac16Table;
bool Flac16Built = false;

const CrcTables& Flac16Tables() {
    if (!Flac16Built) BuildTables(&Flac16Table, 16, 0x8005UL);
    Flac16Built = true;
    return Flac16Table;
}

CrcTables Flac8Table;
bool Flac8Built = false;

const CrcTables& Flac8Tables() {
    if (!Flac8Built) BuildTables(&Flac8Table, 8, 0x07UL);
    Flac8Built = true;
    return Flac8Table;
}

unsigned long ShiftByZeroBytes(const CrcTables& t, unsigned long crc, unsigned long long n) {
    // n zero bytes are 8 n bits: multiply by x^(2^i) for every bit i of 8 n. n below 2^61.
    const unsigned long long bits = n << 3;
    for (int i = 0; i < 64 && (bits >> i) != 0; ++i)
        if ((bits >> i) & 1) crc = MultiplyModPoly(t, crc, t.power[i]);
    return crc;
}

}  // namespace

unsigned long OggCrc(unsigned long crc, const unsigned char* bytes, size_t n) {
    const CrcTables& t = OggTables();
    crc &= 0xFFFFFFFFUL;
    while (n >= 16) {
        crc ^= static_cast<unsigned long>(bytes[0]) << 24 | static_cast<unsigned long>(bytes[1]) << 16 |
               static_cast<unsigned long>(bytes[2]) << 8 | bytes[3];
        crc = t.slice[15][crc >> 24] ^ t.slice[14][(crc >> 16) & 0xFF] ^ t.slice[13][(crc >> 8) & 0xFF] ^
              t.slice[12][crc & 0xFF] ^ t.slice[11][bytes[4]] ^ t.slice[10][bytes[5]] ^ t.slice[9][bytes[6]] ^
              t.slice[8][bytes[7]] ^ t.slice[7][bytes[8]] ^ t.slice[6][bytes[9]] ^ t.slice[5][bytes[10]] ^
              t.slice[4][bytes[11]] ^ t.slice[3][bytes[12]] ^ t.slice[2][bytes[13]] ^ t.slice[1][bytes[14]] ^
              t.slice[0][bytes[15]];
        bytes += 16;
        n -= 16;
    }
    for (; n > 0; --n, ++bytes) crc = ((crc << 8) & 0xFFFFFFFFUL) ^ t.slice[0][(crc >> 24) ^ *bytes];
    return crc;
}

unsigned FlacCrc16(unsigned crc, const unsigned char* bytes, size_t n) {
    const CrcTables& t = Flac16Tables();
    unsigned long value = crc & 0xFFFFUL;
    while (n >= 16) {
        value ^= static_cast<unsigned long>(bytes[0]) << 8 | bytes[1];
        value = t.slice[15][value >> 8] ^ t.slice[14][value & 0xFF] ^ t.slice[13][bytes[2]] ^ t.slice[12][bytes[3]] ^
                t.slice[11][bytes[4]] ^ t.slice[10][bytes[5]] ^ t.slice[9][bytes[6]] ^ t.slice[8][bytes[7]] ^
                t.slice[7][bytes[8]] ^ t.slice[6][bytes[9]] ^ t.slice[5][bytes[10]] ^ t.slice[4][bytes[11]] ^
                t.slice[3][bytes[12]] ^ t.slice[2][bytes[13]] ^ t.slice[1][bytes[14]] ^ t.slice[0][bytes[15]];
        bytes += 16;
        n -= 16;
    }
    for (; n > 0; --n, ++bytes) value = ((value << 8) & 0xFFFFUL) ^ t.slice[0][(value >> 8) ^ *bytes];
    return static_cast<unsigned>(value);
}

unsigned FlacCrc8(unsigned crc, const unsigned char* bytes, size_t n) {
    // Only frame headers, a few bytes each: one byte a step is enough.
    const CrcTables& t = Flac8Tables();
    unsigned long value = crc & 0xFFUL;
    for (; n > 0; --n, ++bytes) value = t.slice[0][value ^ *bytes];
    return static_cast<unsigned>(value);
}

// The mirror of FLAC's CRC-16: every bit of its value and of each byte in reverse order.
static unsigned Mirror(unsigned value, unsigned bits) {
    unsigned mirrored = 0;
    for (unsigned bit = 0; bit < bits; ++bit) mirrored |= ((value >> bit) & 1u) << (bits - 1 - bit);
    return mirrored;
}

static unsigned LameTable[256];
static bool LameBuilt = false;

unsigned LameCrc16(unsigned crc, const unsigned char* bytes, size_t n) {
    if (!LameBuilt) {
        const CrcTables& t = Flac16Tables();
        for (unsigned byte = 0; byte < 256; ++byte)
            LameTable[byte] = Mirror(static_cast<unsigned>(t.slice[0][Mirror(byte, 8)]), 16);
        LameBuilt = true;
    }
    crc &= 0xFFFFu;
    for (; n > 0; --n, ++bytes) crc = (crc >> 8) ^ LameTable[(crc ^ *bytes) & 0xFF];
    return crc;
}

unsigned LameCrc16Shift(unsigned crc, unsigned long long n) {
    return Mirror(FlacCrc16Shift(Mirror(crc & 0xFFFFu, 16), n), 16);
}

unsigned long OggCrcShift(unsigned long crc, unsigned long long n) {
    return ShiftByZeroBytes(OggTables(), crc & 0xFFFFFFFFUL, n);
}

unsigned FlacCrc16Shift(unsigned crc, unsigned long long n) {
    return static_cast<unsigned>(ShiftByZeroBytes(Flac16Tables(), crc & 0xFFFFUL, n));
}

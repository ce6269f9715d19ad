// MD5 as RFC 1321 gives it: FLAC's STREAMINFO holds the MD5 of the stream's samples,
// and zlib has none.
#include "md5.h"

#include <cstring>

namespace {

const unsigned char Md5Shifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                     5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                     4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                     6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
const unsigned long Md5Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void Md5Block(unsigned long* state, const unsigned char* block) {
    unsigned long m[16];
    for (unsigned i = 0; i < 16; ++i)
        m[i] = static_cast<unsigned long>(block[4 * i]) | static_cast<unsigned long>(block[4 * i + 1]) << 8 |
               static_cast<unsigned long>(block[4 * i + 2]) << 16 | static_cast<unsigned long>(block[4 * i + 3]) << 24;
    unsigned long a = state[0], b = state[1], c = state[2], d = state[3];
    for (unsigned i = 0; i < 64; ++i) {
        unsigned long f = 0;
        unsigned g = 0;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        const unsigned long sum = (a + f + Md5Sines[i] + m[g]) & 0xFFFFFFFFUL;
        a = d;
        d = c;
        c = b;
        b = (b + ((sum << Md5Shifts[i] | sum >> (32 - Md5Shifts[i])) & 0xFFFFFFFFUL)) & 0xFFFFFFFFUL;
    }
    state[0] = (state[0] + a) & 0xFFFFFFFFUL;
    state[1] = (state[1] + b) & 0xFFFFFFFFUL;
    state[2] = (state[2] + c) & 0xFFFFFFFFUL;
    state[3] = (state[3] + d) & 0xFFFFFFFFUL;
}

}  // namespace

void AddToMd5(Md5* md5, const unsigned char* bytes, size_t n) {
    size_t have = static_cast<size_t>(md5->bytes & 63);
    md5->bytes += n;
    while (n > 0) {
        const size_t now = n < 64 - have ? n : 64 - have;
        std::memcpy(md5->pending + have, bytes, now);
        have += now;
        bytes += now;
        n -= now;
        if (have == 64) {
            Md5Block(md5->state, md5->pending);
            have = 0;
        }
    }
}

void StartMd5(Md5* md5) {
    md5->state[0] = 0x67452301UL;
    md5->state[1] = 0xefcdab89UL;
    md5->state[2] = 0x98badcfeUL;
    md5->state[3] = 0x10325476UL;
    md5->bytes = 0;
}

void FinishMd5(Md5* md5, unsigned char digest[16]) {
    const unsigned long long bits = md5->bytes * 8;
    unsigned char pad[72] = {0x80};
    const size_t padLength = 1 + ((55 - static_cast<size_t>(md5->bytes & 63)) & 63);
    for (unsigned b = 0; b < 8; ++b) pad[padLength + b] = static_cast<unsigned char>(bits >> (8 * b));
    AddToMd5(md5, pad, padLength + 8);
    for (unsigned i = 0; i < 16; ++i) digest[i] = static_cast<unsigned char>(md5->state[i / 4] >> (8 * (i % 4)));
}

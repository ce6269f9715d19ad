// MD5 (RFC 1321), fed in pieces: FLAC's STREAMINFO holds one of the stream's samples.
#ifndef DECRIMP_MD5_H
#define DECRIMP_MD5_H

#include <cstddef>

struct Md5 {
    unsigned long state[4];
    unsigned long long bytes;   // fed so far
    unsigned char pending[64];  // the block not yet whole
};

void StartMd5(Md5* md5);
void AddToMd5(Md5* md5, const unsigned char* bytes, size_t n);
void FinishMd5(Md5* md5, unsigned char digest[16]);

#endif

// A window over the picked file for the searches that walk it from front to back: the
// bytes around a position, read again through ReadPicked only when the position leaves
// the window, so a walk over a whole file reads it about once. Header only: each
// search holds one static window of its own.
#ifndef DECRIMP_PICKED_WINDOW_H
#define DECRIMP_PICKED_WINDOW_H

#include <cstddef>

#include "format_types.h"

const size_t PickedWindowSize = 1 << 16;

struct PickedWindow {
    const PickedBytes* picked;
    unsigned long long start;  // offset in the picked file of bytes[0]
    size_t length;             // bytes held
    unsigned char bytes[PickedWindowSize];
};

inline void OpenPickedWindow(PickedWindow* window, const PickedBytes* picked) {
    window->picked = picked;
    window->start = 0;
    window->length = 0;
}

// The n bytes at offset (n at most half the window, so a record always fits), or null
// when they are past the end or the read failed.
inline const unsigned char* PickedAt(PickedWindow* window, unsigned long long offset, size_t n) {
    const unsigned long long size = window->picked->size;
    if (n > PickedWindowSize / 2 || offset > size || n > size - offset) return nullptr;
    if (offset >= window->start && offset - window->start + n <= window->length)
        return window->bytes + (offset - window->start);
    const unsigned long long left = size - offset;
    const size_t take = left < PickedWindowSize ? static_cast<size_t>(left) : PickedWindowSize;
    window->length = 0;
    if (!ReadPicked(window->picked, offset, window->bytes, take)) return nullptr;
    window->start = offset;
    window->length = take;
    return window->bytes;
}

// The byte at offset, or -1 past the end.
inline int PickedByte(PickedWindow* window, unsigned long long offset) {
    const unsigned char* byte = PickedAt(window, offset, 1);
    return byte ? *byte : -1;
}

// Whether a CR LF pair of the picked file has its CR at offset.
inline bool PairAt(PickedWindow* window, unsigned long long offset) {
    const unsigned char* two = PickedAt(window, offset, 2);
    return two && two[0] == 0x0D && two[1] == 0x0A;
}

// The CR LF pairs lying wholly in [from, to).
inline unsigned long long PairsIn(PickedWindow* window, unsigned long long from, unsigned long long to) {
    unsigned long long pairs = 0;
    for (unsigned long long at = from; at + 1 < to; ++at) {
        const unsigned char* two = PickedAt(window, at, 2);
        if (!two) break;
        if (two[0] == 0x0D && two[1] == 0x0A) ++pairs;
    }
    return pairs;
}

// Feeds `feed` the original as a search found it: the picked file with the CR of every
// pair dropped but those in kept, block by block. False when a read fails or feed says
// stop; a search hands its own format's check the bytes it would have written, so it
// never decides on bytes that check refuses.
typedef bool (*FeedBytes)(void* state, const unsigned char* bytes, size_t n);
inline bool FeedKeeping(const PickedBytes* picked, const KeptPairs* kept, FeedBytes feed, void* state) {
    static unsigned char in[PickedWindowSize + 1], out[PickedWindowSize + 1];
    size_t next = 0;  // the next kept CR
    for (unsigned long long at = 0; at < picked->size;) {
        const unsigned long long left = picked->size - at;
        // One byte more than is written, so a CR at the block's end knows what follows.
        const size_t n = left <= PickedWindowSize ? static_cast<size_t>(left) : PickedWindowSize;
        const size_t look = left > n ? n + 1 : n;
        if (!ReadPicked(picked, at, in, look)) return false;
        size_t made = 0;
        for (size_t i = 0; i < n; ++i) {
            const bool pairCr = in[i] == 0x0D && i + 1 < look && in[i + 1] == 0x0A;
            const bool keptCr = pairCr && next < kept->count && kept->at[next] == at + i;
            if (keptCr) ++next;
            if (!pairCr || keptCr) out[made++] = in[i];
        }
        if (made > 0 && !feed(state, out, made)) return false;
        at += n;
    }
    return next == kept->count;
}

#endif

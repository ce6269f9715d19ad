// Bounded copy-until-terminator, the way every name enters a fixed buffer.
#include "bounded_copy.h"

char* BoundedCopy(char* dest, const char* src, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        dest[i] = src[i];
        if (src[i] == '\0') return dest + i + 1;
    }
    return nullptr;
}

size_t CopiedLength(const char* dest, const char* end) {
    return end ? static_cast<size_t>(end - dest) : 0;
}

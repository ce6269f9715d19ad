// The core's one string tool: copy up to and including the first NUL, never more than count.
#ifndef DECRIMP_BOUNDED_COPY_H
#define DECRIMP_BOUNDED_COPY_H

#include <cstddef>

// Returns the position just after the copied NUL in dest, or nullptr when no NUL
// was met within count characters (dest then holds count unterminated characters).
char* BoundedCopy(char* dest, const char* src, size_t count);

// Number of characters BoundedCopy copied, NUL included; 0 when it met no NUL.
size_t CopiedLength(const char* dest, const char* end);

#endif

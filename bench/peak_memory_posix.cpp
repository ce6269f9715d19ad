// Peak resident set size, from getrusage (kilobytes on Linux).
#include <sys/resource.h>

#include "peak_memory.h"

size_t PeakMemoryBytes() {
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

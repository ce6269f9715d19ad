// The process's peak memory so far, in bytes (resident set / working set).
#ifndef DECRIMP_PEAK_MEMORY_H
#define DECRIMP_PEAK_MEMORY_H

#include <cstddef>

size_t PeakMemoryBytes();

#endif

// Peak working set, from the process memory counters.
#include <windows.h>
#include <psapi.h>

#include "peak_memory.h"

size_t PeakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

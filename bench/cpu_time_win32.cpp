// Process CPU time from GetProcessTimes (100-nanosecond units).
#include <windows.h>

#include "cpu_time.h"

static double Seconds(const FILETIME& time) {
    const ULONGLONG ticks = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks) / 1e7;
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return Seconds(kernel) + Seconds(user);
}

// Process CPU time from getrusage.
#include <sys/resource.h>

#include "cpu_time.h"

static double Seconds(const struct timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

double ProcessCpuSeconds() {
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

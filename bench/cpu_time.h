// The CPU time the process has used so far, user and system, in seconds. Less
// disturbed than wall time by other work on a shared machine.
#ifndef DECRIMP_CPU_TIME_H
#define DECRIMP_CPU_TIME_H

double ProcessCpuSeconds();

#endif

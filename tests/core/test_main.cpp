// Runs the core tests. --restore=bytes|sse2|avx2 holds the repair to that path for the
// whole run (never wider than the CPU has), so the file tests can be run both ways;
// the line-end tests go through every path in any case.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "restore.h"

static bool WidthNamed(const char* name, RestoreWidth* width) {
    const RestoreWidth widths[] = {RestoreBytes, RestoreSse2, RestoreAvx2};
    const char* names[] = {"bytes", "sse2", "avx2"};
    for (int i = 0; i < 3; ++i) {
        if (std::strcmp(name, names[i]) == 0) {
            *width = widths[i];
            return true;
        }
    }
    return false;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char option[] = "--restore=";
    for (int i = 1; i < argc; ++i) {
        RestoreWidth width;
        if (std::strncmp(argv[i], option, sizeof option - 1) != 0 || !WidthNamed(argv[i] + sizeof option - 1, &width)) {
            std::fprintf(stderr, "unknown argument %s (use --restore=bytes|sse2|avx2)\n", argv[i]);
            return 2;
        }
        LimitRestoreWidth(width);
    }
    std::printf("repair path %s; widest on this CPU %s\n", RestoreWidthName(RestoreWidthInForce()),
                RestoreWidthName(WidestRestoreWidth()));
    return RUN_ALL_TESTS();
}

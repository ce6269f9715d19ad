// What a test exe tests: the answers its core gives (core/windows/newer_calls.cpp) and
// the build of the program its window tests drive. Both come from one small object
// made per build of the program (under_test.cpp), so the tests compile once.
#ifndef DECRIMP_UNDER_TEST_H
#define DECRIMP_UNDER_TEST_H

// "95" or "XP" where the core answers as that Windows would; "" in the program handed out.
extern const char AnsweredAs[];
// The exe the window tests start, as the build names it (a Unix path); "" natively.
extern const char ProgramUnderTest[];

#endif

// Built once per build of the program under test, with its answer and exe path.
#include "under_test.h"

const char AnsweredAs[] = DECRIMP_ANSWERED_AS;
const char ProgramUnderTest[] = DECRIMP_PROGRAM_UNDER_TEST;

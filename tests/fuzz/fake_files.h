// An in-memory stand-in for the core's file calls, for the fuzzers: a fuzzed path never
// names a real file, nothing is left on disk, and calls fail when the input says so.
#ifndef DECRIMP_FAKE_FILES_H
#define DECRIMP_FAKE_FILES_H

#include <cstdint>
#include <string>

// Empties the stand-in. A path never put there reads as fallback, or does not exist
// when fallback is null.
void ResetFakeFiles(const char* fallback);
void PutFakeFile(const std::string& path, const std::string& bytes);
// False when there is no such file.
bool GetFakeFile(const std::string& path, std::string* bytes);
// Whether any file holds exactly these bytes.
bool AnyFakeFileHolds(const std::string& bytes);
// From now until the next reset, a "Copy of " name never put there does not exist,
// so that copies are written anew rather than all found already there.
void LeaveCopiesOut();

// From now until the next reset, the one-step replace answers as on Windows 95/98/Me,
// and after each step of the replace in steps but the last, some file must still hold
// original and some file repair.
void AnswerWithoutOneStepReplace(const std::string& original, const std::string& repair);
// False once a step left original or repair without a file.
bool StepsKeptBothFiles();

// Bit k of schedule makes the k-th call from now that can fail do so (k counted
// modulo 64): each open, read, write, close, flush, delete, replace and attribute
// call counts one.
void FailFakeCalls(uint64_t schedule);
// Whether any call failed since the last reset.
bool FakeCallFailed();

#endif

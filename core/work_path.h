// Puts file names behind the directory prefix that WorkPath-style buffers start with.
#ifndef DECRIMP_WORK_PATH_H
#define DECRIMP_WORK_PATH_H

#include "platform.h"

// Writes name at NameOffset. If prefix + name does not fit, writes as much as fits,
// terminated, and returns false.
bool PutName(char* workPath, const char* name);

// Fills out (size characters) with the folder part of path, then leaf: the name of
// a file beside path. False when that does not fit.
bool PutBeside(char* out, size_t size, const char* path, const char* leaf);

// The files the program makes for itself (a copy being written, a picked file stepping
// aside) take a name no file in the folder has: stem + ".tmp", else stem + " (2).tmp" and
// so on up to OwnNameTries, so that a file of such a name is never one of the user's.
const int OwnNameTries = 99;
// Fills out (WorkPathSize characters) with the name of try number (1 on) beside path;
// false when it does not fit there or in the platform's file calls.
bool PutOwnNameBeside(char* out, const char* path, const char* stem, int number);
// Creates the first of those names that no file has, for writing; out (WorkPathSize
// characters) names it. Null when none is free or the file cannot be made.
FILE* CreateOwnFile(char* out, const char* path, const char* stem);

// "File Name Too Long!" with the name, cut to fit the box's text.
void ReportNameTooLong(OwnerWindow owner, const char* name);

#endif

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

// "File Name Too Long!" with the name, cut to fit the box's text.
void ReportNameTooLong(OwnerWindow owner, const char* name);

#endif

// Walks the Open dialog's result: one full path, or a directory followed by names.
#ifndef DECRIMP_SELECTION_H
#define DECRIMP_SELECTION_H

#include "platform.h"

typedef void (*AddPathFunction)(const char* path);

// Hands the full path of every picked file, in the dialog's order, to addPath.
void ListSelection(AddPathFunction addPath);

// Converts every picked file, then restores the arrow cursor, shows the
// completion message and clears SelectionPending.
void RunSelection(OwnerWindow owner);

#endif

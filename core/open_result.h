// Checks and tidies what the Open dialog left in SelectionBuffer, before it is taken.
#ifndef DECRIMP_OPEN_RESULT_H
#define DECRIMP_OPEN_RESULT_H

#include <cstddef>

// False when a list of names has no closing empty string inside the buffer: the
// dialog cut the selection to fit (Wine does so instead of failing), and the files
// past the cut would be silently left out.
bool SelectionIsWhole(size_t nameOffset);

// A drive's root comes as "C:\" before the names; the walks add a separator of their
// own, so the root's is dropped and NameOffset moved back, giving "C:\name", not "C:\\name".
void DropRootSeparator();

#endif

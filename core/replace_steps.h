// The replace on systems without a one-step one (Windows 95/98/Me), made of renames that
// never take a name in use, so a power cut between them costs no byte.
#ifndef DECRIMP_REPLACE_STEPS_H
#define DECRIMP_REPLACE_STEPS_H

#include "platform.h"

// Where the picked file waits, in its own folder, while the copy takes its name.
extern const char SetAsideName[];  // "~Decrimp 95 original.tmp"

// Puts the whole, flushed copy in pickedPath's place: the picked file is renamed to
// SetAsideName beside it, the copy to its name, and the set-aside file is deleted. False
// when the picked file keeps its name and bytes. A file already called SetAsideName is
// never touched (a power cut left it, holding some picked file's bytes); a box names it,
// as it names the set-aside file when it cannot go back or cannot go away.
bool ReplaceInSteps(const char* copyPath, const char* pickedPath, OwnerWindow owner);

#endif

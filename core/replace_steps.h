// The replace on systems without a one-step one (Windows 95/98/Me), made of renames that
// never take a name in use, so a power cut between them costs no byte.
#ifndef DECRIMP_REPLACE_STEPS_H
#define DECRIMP_REPLACE_STEPS_H

#include "platform.h"

// Where the picked file waits, in its own folder, while the copy takes its name: this
// stem + ".tmp", numbered past any file of that name there (see PutOwnNameBeside).
extern const char SetAsideStem[];  // "~Decrimp 95 original"

// Puts the whole, flushed copy in pickedPath's place: the picked file is renamed to a
// free set-aside name beside it, the copy to its name, and the set-aside file is deleted.
// False when the picked file keeps its name and bytes. A box names the set-aside file
// when it cannot go back or cannot go away.
// "Original Kept Aside!" with the path of a file that holds a picked file's old bytes
// and must stay: the user decides what it becomes.
void TellKeptAside(OwnerWindow owner, const char* asidePath);

bool ReplaceInSteps(const char* copyPath, const char* pickedPath, OwnerWindow owner);

#endif

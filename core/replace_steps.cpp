// Windows 95/98/Me cannot replace a file in one step. There the picked file steps aside
// under a name of the program's own, the copy takes its name, and only then does the
// set-aside file go: at every moment the picked file's bytes and the whole repair each
// have a name. A later run never deletes a set-aside file: only the user knows whether
// the file it stood for is all right.
#include "replace_steps.h"

#include "state.h"
#include "work_path.h"

const char SetAsideName[] = "~Decrimp 95 original.tmp";

static bool BuildSetAsidePath(char* asidePath, const char* pickedPath) {
    return PutBeside(asidePath, WorkPathSize, pickedPath, SetAsideName) && PathFitsPlatform(asidePath);
}

static bool NameInUse(const char* path) {
    FileStamp found;
    return ReadPathStamp(path, &found);
}

// The file there holds a picked file's bytes as they were; the user decides what it becomes.
static void TellKeptAside(OwnerWindow owner, const char* asidePath) {
    ShowMessage(owner, asidePath, "Original Kept Aside!", BoxWarning);
}

bool ReplaceInSteps(const char* copyPath, const char* pickedPath, OwnerWindow owner) {
    char asidePath[WorkPathSize];
    if (!BuildSetAsidePath(asidePath, pickedPath)) return false;
    // Asked first: a picked file of that very name would otherwise be renamed onto itself.
    if (NameInUse(asidePath)) {
        TellKeptAside(owner, asidePath);
        return false;
    }
    if (!RenameToNewPath(pickedPath, asidePath)) return false;
    ReplaceStepTaken(1);
    if (!RenameToNewPath(copyPath, pickedPath)) {
        if (!RenameToNewPath(asidePath, pickedPath)) TellKeptAside(owner, asidePath);
        return false;
    }
    ReplaceStepTaken(2);
    // The repair is in place all the same; the old bytes stay under the other name.
    if (!DeletePath(asidePath)) TellKeptAside(owner, asidePath);
    ReplaceStepTaken(3);
    return true;
}

// Windows 95/98/Me cannot replace a file in one step. There the picked file steps aside
// under a name of the program's own, the copy takes its name, and only then does the
// set-aside file go: at every moment the picked file's bytes and the whole repair each
// have a name. The set-aside name is one no file of the folder has, so a file that a
// power cut left under such a name is never touched and stands in no later run's way:
// only the user knows whether the file it stood for is all right.
#include "replace_steps.h"

#include "state.h"
#include "work_path.h"

const char SetAsideStem[] = "~Decrimp 95 original";

void TellKeptAside(OwnerWindow owner, const char* asidePath) {
    ShowMessage(owner, asidePath, "Original Kept Aside!", BoxWarning);
}

// Renames the picked file to the first of the program's own names that no file has.
// A picked file that has such a name already is not renamed onto itself.
static bool StepAside(const char* pickedPath, char* asidePath) {
    const char* pickedName = pickedPath + NameStart(pickedPath);
    for (int number = 1; number <= OwnNameTries; ++number) {
        if (!PutOwnNameBeside(asidePath, pickedPath, SetAsideStem, number)) return false;
        if (SameFileName(asidePath + NameStart(asidePath), pickedName)) continue;
        bool taken = false;
        if (RenameToNewPath(pickedPath, asidePath, &taken)) return true;
        if (!taken) return false;
    }
    return false;
}

bool ReplaceInSteps(const char* copyPath, const char* pickedPath, OwnerWindow owner) {
    char asidePath[WorkPathSize];
    if (!StepAside(pickedPath, asidePath)) return false;
    ReplaceStepTaken(1);
    if (!RenameToNewPath(copyPath, pickedPath, nullptr)) {
        if (!RenameToNewPath(asidePath, pickedPath, nullptr)) TellKeptAside(owner, asidePath);
        return false;
    }
    ReplaceStepTaken(2);
    // The repair is in place all the same; the old bytes stay under the other name.
    if (!DeletePath(asidePath)) TellKeptAside(owner, asidePath);
    ReplaceStepTaken(3);
    return true;
}

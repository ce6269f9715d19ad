// Walks the Open dialog's multi-selection result, which comes in two forms:
//   one file:     full path NUL                               NameOffset = index of its name
//   several:      directory NUL name NUL ... name NUL NUL      NameOffset = directory length + 1
// The walks only read SelectionBuffer, so a selection can be listed and then run.
#include "selection.h"

#include <cstring>

#include "bounded_copy.h"
#include "convert.h"
#include "state.h"
#include "work_path.h"

enum SelectionForm { FormBroken, FormSingle, FormList };
enum NameStatus { NameEnd, NameTaken, NameTooLong };

// Copies the first string into WorkPath and tells the form; readPosition is set to
// the index of the string after it. An offset that does not fit the first string is broken.
static SelectionForm StartWalk(size_t* readPosition) {
    const char* end = BoundedCopy(WorkPath, SelectionBuffer, WorkPathSize);
    const size_t copied = CopiedLength(WorkPath, end);
    if (copied == 0) {
        WorkPath[WorkPathSize - 1] = '\0';
        return FormBroken;
    }
    const size_t firstLength = copied - 1;
    *readPosition = copied;
    if (firstLength > NameOffset) return NameOffset > 0 ? FormSingle : FormBroken;
    if (firstLength > 0 && NameOffset == firstLength + 1 && NameOffset < WorkPathSize) return FormList;
    return FormBroken;
}

// Takes the name at readPosition into name. A name too long for the name buffer is
// skipped whole (and handed back cut) so that the names after it still count.
static NameStatus TakeName(size_t* readPosition, char* name) {
    if (*readPosition >= SelectionBufferSize) return NameEnd;
    const char* start = SelectionBuffer + *readPosition;
    const size_t room = SelectionBufferSize - *readPosition;
    const size_t count = room < NameBufferSize ? room : NameBufferSize;
    const size_t copied = CopiedLength(name, BoundedCopy(name, start, count));
    if (copied == 1) return NameEnd;
    if (copied > 1) {
        *readPosition += copied;
        return NameTaken;
    }
    const void* nul = std::memchr(start, '\0', room);
    if (!nul) return NameEnd;
    *readPosition += static_cast<size_t>(static_cast<const char*>(nul) - start) + 1;
    name[NameBufferSize - 1] = '\0';
    return NameTooLong;
}

// True when a name of the list before namePosition names the same file as name.
static bool PickedBefore(size_t firstNamePosition, size_t namePosition, const char* name) {
    char other[NameBufferSize];
    size_t position = firstNamePosition;
    NameStatus status;
    while (position < namePosition && (status = TakeName(&position, other)) != NameEnd) {
        if (status == NameTaken && SameFileName(other, name)) return true;
    }
    return false;
}

// TakeName, passing over a file picked a second time ("a.mp3" "A.MP3" typed in the
// dialog): each file is listed and repaired once, or a second pass would repair the repair.
static NameStatus TakeNewName(size_t firstNamePosition, size_t* readPosition, char* name) {
    for (;;) {
        const size_t namePosition = *readPosition;
        const NameStatus status = TakeName(readPosition, name);
        if (status != NameTaken || !PickedBefore(firstNamePosition, namePosition, name)) return status;
    }
}

// True when "Copy of " + name is itself one of the picked names: writing name's copy
// would destroy a file the user asked to repair.
static bool OwnCopyIsPicked(size_t firstNamePosition, const char* name) {
    char copyName[NameBufferSize];
    if (!BuildOutputName(copyName, name)) return false;
    char other[NameBufferSize];
    size_t position = firstNamePosition;
    NameStatus status;
    while ((status = TakeName(&position, other)) != NameEnd) {
        if (status == NameTaken && SameFileName(other, copyName)) return true;
    }
    return false;
}

static void RefuseOwnCopy(const char* name, OwnerWindow owner) {
    char outputName[NameBufferSize];
    BuildOutputName(outputName, name);  // fits: OwnCopyIsPicked built the same name
    PutName(WorkPath, outputName);
    ShowMessage(owner, WorkPath, "File Not Written!", BoxError);
    PutName(WorkPath, name);
}

// Turns the directory's terminator into the separator; until a name follows,
// WorkPath reads as the directory prefix alone.
static void StartPrefix() {
    WorkPath[NameOffset - 1] = '\\';
    WorkPath[NameOffset] = '\0';
}

static void CompleteRun(OwnerWindow owner, const char* caption) {
    RestoreArrowCursor();
    ShowMessage(owner, WorkPath, caption, BoxInformation);
    SelectionPending = 0;
}

void ListSelection(AddPathFunction addPath) {
    size_t readPosition = 0;
    const SelectionForm form = StartWalk(&readPosition);
    if (form == FormSingle) addPath(WorkPath);
    if (form != FormList) return;
    const size_t firstNamePosition = readPosition;
    StartPrefix();
    char name[NameBufferSize];
    NameStatus status;
    while ((status = TakeNewName(firstNamePosition, &readPosition, name)) != NameEnd) {
        if (status == NameTaken && PutName(WorkPath, name)) addPath(WorkPath);
    }
}

static void RunSingle(OwnerWindow owner) {
    char name[NameBufferSize];
    if (!BoundedCopy(name, WorkPath + NameOffset, NameBufferSize)) {
        name[NameBufferSize - 1] = '\0';
        ReportNameTooLong(owner, name);
    } else {
        WorkPath[NameOffset] = '\0';
        ConvertFile(WorkPath, name, owner);
    }
    CompleteRun(owner, "File is Decrimped!");
}

static void RunList(size_t readPosition, OwnerWindow owner) {
    const size_t firstNamePosition = readPosition;
    StartPrefix();
    char name[NameBufferSize];
    NameStatus status;
    while ((status = TakeNewName(firstNamePosition, &readPosition, name)) != NameEnd) {
        if (status == NameTooLong) {
            PutName(WorkPath, name);
            ReportNameTooLong(owner, name);
        } else if (OwnCopyIsPicked(firstNamePosition, name)) {
            RefuseOwnCopy(name, owner);
        } else {
            ConvertFile(WorkPath, name, owner);
        }
    }
    CompleteRun(owner, "Files are Decrimped!");
}

void RunSelection(OwnerWindow owner) {
    size_t readPosition = 0;
    switch (StartWalk(&readPosition)) {
    case FormSingle:
        RunSingle(owner);
        break;
    case FormList:
        RunList(readPosition, owner);
        break;
    case FormBroken:
        // Nothing sensible to convert; say so rather than report a success.
        ReportNameTooLong(owner, WorkPath);
        RestoreArrowCursor();
        SelectionPending = 0;
        break;
    }
}

// Walks the Open dialog's multi-selection result, which comes in two forms:
//   one file:     full path NUL                               NameOffset = index of its name
//   several:      directory NUL name NUL ... name NUL NUL      NameOffset = directory length + 1
// The walks only read SelectionBuffer, so a selection can be listed and then run.
#include "selection.h"

#include <cstdio>
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

// Every name takes two characters at least (one and its NUL), and so does the
// directory before them: no selection holds more names than this.
const int MaxPickedNames = SelectionBufferSize / 2;

// What the file system tells of one picked name, read once per walk before anything
// is converted: the file it reaches, and, for a run, the file its copy would be.
struct PickedFile {
    bool exact;    // no part of the path ends in a dot or a space
    bool stamped;  // the system gave the file's stamp
    bool known;    // and a number of its own in it: the file's identity
    FileStamp identity;
    bool copyStamped;
    bool copyKnown;
    FileStamp copyIdentity;
};

static PickedFile Picked[MaxPickedNames];

// One walk over the names of a list: where they start, where the next one stands, and its number.
struct NameWalk {
    size_t firstNamePosition;
    size_t readPosition;
    int nextIndex;
};

static const PickedFile& PickedAt(int index) {
    static const PickedFile unknown = {true, false, false, {}, false, false, {}};
    return index < MaxPickedNames ? Picked[index] : unknown;
}

// Fills Picked for every name of the list; WorkPath is left as the directory prefix.
static void ReadPickedFiles(size_t firstNamePosition, bool withCopies) {
    size_t position = firstNamePosition;
    char name[NameBufferSize];
    NameStatus status;
    for (int index = 0; index < MaxPickedNames && (status = TakeName(&position, name)) != NameEnd; ++index) {
        PickedFile* file = &Picked[index];
        file->exact = true;
        file->stamped = file->known = file->copyStamped = file->copyKnown = false;
        if (status != NameTaken || !PutName(WorkPath, name)) continue;
        file->exact = !PathPartEndsInDotOrSpace(WorkPath);
        file->stamped = ReadPathStamp(WorkPath, &file->identity);
        file->known = file->stamped && file->identity.identified;
        char copyName[NameBufferSize];
        if (withCopies && BuildOutputName(copyName, name) && PutName(WorkPath, copyName)) {
            file->copyStamped = ReadPathStamp(WorkPath, &file->copyIdentity);
            file->copyKnown = file->copyStamped && file->copyIdentity.identified;
        }
    }
    WorkPath[NameOffset] = '\0';
}

// One name of a walk and what the system told of its file.
struct NamedFile {
    const char* name;
    bool stamped;
    bool known;
    const FileStamp& stamp;
};

// The folder's prefix and name; with longName, its last part as the folder stores it:
// the long name where name ends in an 8.3 alias (A_LO~MCC.TXT), which resolving keeps.
static bool PutPath(char* path, const char* name, bool longName) {
    std::memcpy(path, WorkPath, NameOffset);
    if (!PutName(path, name)) return false;
    char stored[NameBufferSize];
    if (!longName || !ReadLongName(path, stored)) return true;
    const size_t leaf = NameStart(path);
    return BoundedCopy(path + leaf, stored, WorkPathSize - leaf) != nullptr;
}

// Only names whose files may be one are looked up in their folders: a lookup per pair
// of names would cost a large selection seconds on the systems that need it.
static bool MayBeOneFile(const NamedFile& a, const NamedFile& b) {
    return !a.stamped || !b.stamped || (a.stamp.size == b.stamp.size && a.stamp.writeTime == b.stamp.writeTime);
}

// By identity where the system gives one. A name that reaches a file and one that
// reaches none (or only a file the system cannot tell) are two files; only where
// neither gives an identity do the paths decide, each resolved as the file calls do
// and, where the two may be one file, by its long name. WorkPath holds the folder's
// prefix while the walks run.
static bool SameFile(const NamedFile& a, const NamedFile& b) {
    if (a.known || b.known) return a.known && b.known && SameFileIdentity(a.stamp, b.stamp);
    const bool longNames = MayBeOneFile(a, b);
    char pathA[WorkPathSize];
    char pathB[WorkPathSize];
    if (!PutPath(pathA, a.name, longNames) || !PutPath(pathB, b.name, longNames)) return SameFileName(a.name, b.name);
    return SameFileName(pathA, pathB);
}

static NamedFile PickedName(int index, const char* name) {
    const PickedFile& file = PickedAt(index);
    return {name, file.stamped, file.known, file.identity};
}

static bool SamePickedFile(int a, const char* nameA, int b, const char* nameB) {
    return SameFile(PickedName(a, nameA), PickedName(b, nameB));
}

// True when the name at index gives way to another name of the same file, so that each
// file is listed and repaired once. A clean name gives way only to an earlier clean one.
// A name ending in a dot or a space reaches the file without them, and is refused when
// run: it gives way to any clean name of that file, wherever it stands ("a.mp3." "a.mp3"
// is one file in either order), and to an earlier name like itself.
static bool GivesWay(size_t firstNamePosition, int index, const char* name) {
    const bool exact = PickedAt(index).exact;
    char other[NameBufferSize];
    size_t position = firstNamePosition;
    NameStatus status;
    for (int at = 0; (status = TakeName(&position, other)) != NameEnd; ++at) {
        if (at == index && exact) return false;
        if (at == index || status != NameTaken) continue;
        const bool otherExact = PickedAt(at).exact;
        const bool yields = at < index ? otherExact || !exact : otherExact && !exact;
        if (yields && SamePickedFile(index, name, at, other)) return true;
    }
    return false;
}

// TakeName, passing over a file picked a second time ("a.mp3" "./A.MP3" typed in the
// dialog): a second pass would repair the repair. *index is the name's number.
static NameStatus TakeNewName(NameWalk* walk, char* name, int* index) {
    for (;;) {
        *index = walk->nextIndex++;
        const NameStatus status = TakeName(&walk->readPosition, name);
        if (status != NameTaken || !GivesWay(walk->firstNamePosition, *index, name)) return status;
    }
}

// True when "Copy of " + name is itself one of the picked files: writing name's copy
// would destroy a file the user asked to repair. Told by the files as they stood when
// the run began, so a copy repaired in its own place since is still that picked file.
static bool OwnCopyIsPicked(size_t firstNamePosition, int index, const char* name) {
    char copyName[NameBufferSize];
    if (!BuildOutputName(copyName, name)) return false;
    const PickedFile& file = PickedAt(index);
    char other[NameBufferSize];
    size_t position = firstNamePosition;
    NameStatus status;
    for (int at = 0; (status = TakeName(&position, other)) != NameEnd; ++at) {
        if (status != NameTaken) continue;
        const NamedFile copy = {copyName, file.copyStamped, file.copyKnown, file.copyIdentity};
        if (SameFile(copy, PickedName(at, other))) return true;
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

// The end box. When every file came out right it is as it always was; otherwise it
// says how many did, and never calls a failed file decrimped.
static void CompleteRun(OwnerWindow owner, const char* caption, int repaired, int handled) {
    RestoreArrowCursor();
    SelectionPending = 0;  // a run command dispatched while the box is open finds nothing to run
    if (repaired == handled) {
        ShowMessage(owner, WorkPath, caption, BoxInformation);
    } else if (handled == 1) {
        ShowMessage(owner, WorkPath, "File Not Decrimped!", BoxError);
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%d of %d files %s decrimped.", repaired, handled,
                      repaired == 1 ? "is" : "are");
        ShowMessage(owner, text, repaired == 0 ? "No File Decrimped!" : "Files Not All Decrimped!",
                    repaired == 0 ? BoxError : BoxWarning);
    }
}

void ListSelection(AddPathFunction addPath) {
    size_t readPosition = 0;
    const SelectionForm form = StartWalk(&readPosition);
    if (form == FormSingle) addPath(WorkPath);
    if (form != FormList) return;
    StartPrefix();
    ReadPickedFiles(readPosition, false);
    NameWalk walk = {readPosition, readPosition, 0};
    char name[NameBufferSize];
    int index;
    NameStatus status;
    while ((status = TakeNewName(&walk, name, &index)) != NameEnd) {
        if (status == NameTaken && PutName(WorkPath, name)) addPath(WorkPath);
    }
}

static void RunSingle(OwnerWindow owner) {
    char name[NameBufferSize];
    bool repaired = false;
    if (!BoundedCopy(name, WorkPath + NameOffset, NameBufferSize)) {
        name[NameBufferSize - 1] = '\0';
        ReportNameTooLong(owner, name);
    } else {
        WorkPath[NameOffset] = '\0';
        repaired = ConvertFile(WorkPath, name, owner);
    }
    CompleteRun(owner, "File is Decrimped!", repaired ? 1 : 0, 1);
}

static void RunList(size_t readPosition, OwnerWindow owner) {
    StartPrefix();
    ReadPickedFiles(readPosition, true);
    NameWalk walk = {readPosition, readPosition, 0};
    char name[NameBufferSize];
    int index;
    int handled = 0;
    int repaired = 0;
    NameStatus status;
    while ((status = TakeNewName(&walk, name, &index)) != NameEnd) {
        ++handled;
        if (status == NameTooLong) {
            PutName(WorkPath, name);
            ReportNameTooLong(owner, name);
        } else if (OwnCopyIsPicked(readPosition, index, name)) {
            RefuseOwnCopy(name, owner);
        } else if (ConvertFile(WorkPath, name, owner)) {
            ++repaired;
        }
    }
    CompleteRun(owner, "Files are Decrimped!", repaired, handled);
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
        CompleteRun(owner, "File is Decrimped!", 0, 1);
        break;
    }
}

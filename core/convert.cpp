// One picked file: its repaired copy named "Copy of " + name, kept or put in its place.
// The copy is written under a name of the program's own and takes its real name only
// once it is whole and on the disk, so a crash never leaves a partial "Copy of " file.
#include "convert.h"

#include <cstring>

#include "bounded_copy.h"
#include "replace_steps.h"
#include "restore.h"
#include "state.h"
#include "work_path.h"

const char OutputPrefix[] = "Copy of ";
static const size_t OutputPrefixLength = sizeof OutputPrefix - 1;
// Where a copy is written until it is whole. Only this program makes a file of this
// name, so one left by a crash may be removed by a later run.
const char UnfinishedCopyName[] = "~Decrimp 95 unfinished copy.tmp";

// Blocks are already large; a second layer of buffering would only copy them again.
// Should the library refuse, its own buffer is still correct, only slower.
static void Unbuffer(FILE* stream) {
    (void)std::setvbuf(stream, nullptr, _IONBF, 0);
}

bool BuildOutputName(char* outputName, const char* name) {
    // A name typed with its sub-folder ("sub\\a.mp3") gets its copy in that folder.
    if (!PutBeside(outputName, NameBufferSize, name, OutputPrefix)) return false;
    const size_t prefixEnd = NameStart(name) + OutputPrefixLength;
    return BoundedCopy(outputName + prefixEnd, name + NameStart(name), NameBufferSize - prefixEnd) != nullptr;
}

static bool BuildUnfinishedName(char* unfinishedName, const char* name) {
    return PutBeside(unfinishedName, NameBufferSize, name, UnfinishedCopyName);
}

// The names and paths of the copy and of its unfinished form must fit, in our buffers
// and in the platform's file calls, before anything is touched. The copy's path is
// longer than the picked file's, so that one fits as well.
static bool OutputFits(char* workPath, const char* name, char* outputName, char* unfinishedName) {
    if (!BuildOutputName(outputName, name) || !BuildUnfinishedName(unfinishedName, name)) return false;
    if (!PutName(workPath, outputName) || !PathFitsPlatform(workPath)) return false;
    return PutName(workPath, unfinishedName) && PathFitsPlatform(workPath);
}

static bool Unchanged(const FileStamp& a, const FileStamp& b) {
    return SameFileIdentity(a, b) && a.size == b.size && a.writeTime == b.writeTime;
}

// What ConvertFile knows of the picked file and its copy as it goes.
struct Conversion {
    char* workPath;
    const char* name;
    char outputName[NameBufferSize];
    char unfinishedName[NameBufferSize];
    FileStamp picked;     // as it was opened, to tell if it changed before the replace
    bool pickedStamped;
    bool changed;         // the repair differs from the picked file
};

// Some C libraries report a failed final flush only from fflush, not from fclose.
// The copy reaches the disk before it gets its name: a power cut after that must
// not leave the name with unwritten bytes behind it.
static bool FinishOutput(FILE* output) {
    const bool flushed = std::fflush(output) == 0 && !std::ferror(output) && FlushToDisk(output);
    const bool closed = std::fclose(output) == 0;
    return flushed && closed;
}

// A file of the unfinished copy's name is one a crash left: it goes, unless it is
// the very file picked (someone may pick anything in "All").
static FILE* CreateUnfinishedCopy(const Conversion& c) {
    bool exists = false;
    FILE* output = CreateNewFile(c.workPath, &exists);
    if (output || !exists) return output;
    FileStamp leftover;
    if (!ReadPathStamp(c.workPath, &leftover) || (c.pickedStamped && SameFileIdentity(leftover, c.picked)))
        return nullptr;
    if (!DeletePath(c.workPath)) return nullptr;
    return CreateNewFile(c.workPath, &exists);
}

// Writes the repair under the unfinished name; on success it is whole and on the disk.
// Anything else removes it again.
static CopyResult WriteUnfinishedCopy(FILE* input, Conversion* c) {
    PutName(c->workPath, c->unfinishedName);
    FILE* output = CreateUnfinishedCopy(*c);
    if (!output) return CopyWriteFailed;
    Unbuffer(output);
    CopyResult result = CopyRestoring(input, output, &c->changed);
    if (!FinishOutput(output) && result == CopyDone) result = CopyWriteFailed;
    if (result != CopyDone) (void)DeletePath(c->workPath);  // if even this fails, a later run removes it
    return result;
}

// Overwrite mode has nothing to do for a file the repair leaves as it is.
static bool NothingToReplace(const Conversion& c) {
    return GenerateNewFiles == 0 && !c.changed;
}

// The whole copy takes the name "Copy of ", unless something took that name meanwhile.
// WorkPath names the unfinished copy on entry.
static CopyResult NameTheCopy(const Conversion& c) {
    char unfinishedPath[WorkPathSize];
    BoundedCopy(unfinishedPath, c.workPath, WorkPathSize);
    PutName(c.workPath, c.outputName);
    if (NothingToReplace(c)) {
        (void)DeletePath(unfinishedPath);  // the picked file is its own repair
        return CopyDone;
    }
    if (RenameToNewPath(unfinishedPath, c.workPath)) return CopyDone;
    (void)DeletePath(unfinishedPath);
    return CopyWriteFailed;
}

// A "Copy of " file that was there before: taken only when it already holds the repair
// (an earlier run made it). Anything else may be the user's own copy and stays as it is.
static CopyResult UseExistingCopy(FILE* input, Conversion* c) {
    // Windows flushes a file to disk only through a handle that may write.
    FILE* copy = OpenSharedFile(c->workPath, GenerateNewFiles != 0 ? "rb" : "r+b");
    if (!copy) return CopyWriteFailed;
    Unbuffer(copy);
    CopyResult result = MatchRestoring(input, copy, &c->changed);
    const bool onDisk = result != CopyDone || GenerateNewFiles != 0 || FlushToDisk(copy);
    if ((std::fclose(copy) != 0 || !onDisk) && result == CopyDone) result = CopyWriteFailed;
    return result;
}

static CopyResult MakeCopy(FILE* input, Conversion* c) {
    PutName(c->workPath, c->outputName);
    FileStamp existing;
    if (ReadPathStamp(c->workPath, &existing)) return UseExistingCopy(input, c);
    const CopyResult result = WriteUnfinishedCopy(input, c);
    return result == CopyDone ? NameTheCopy(*c) : result;
}

// Nothing takes the picked file's place; the box names what failed.
static void GiveUpCopy(const Conversion& c, OwnerWindow owner, CopyResult result) {
    char outputPath[WorkPathSize];
    PutName(c.workPath, c.outputName);
    BoundedCopy(outputPath, c.workPath, WorkPathSize);
    PutName(c.workPath, c.name);
    if (result == CopyReadFailed)
        ShowMessage(owner, c.workPath, "File Not Read!", BoxError);
    else if (result == CopyNotDamaged)
        ShowMessage(owner, c.workPath, "File Not Damaged!", BoxWarning);
    else
        ShowMessage(owner, outputPath, "File Not Written!", BoxError);
}

// The picked file is replaced only if it is still what was read: a program that saved
// it meanwhile keeps its save, and the repair stays beside it.
static bool PickedFileUnchanged(const Conversion& c) {
    FileStamp now;
    return !c.pickedStamped || (ReadPathStamp(c.workPath, &now) && Unchanged(now, c.picked));
}

// One call puts the repair in place, so the picked file is never missing: it is either
// replaced whole or left as it was, with the repair still beside it. Where the system
// has no such call, renames do it in steps that never lose the picked file's bytes.
static bool ReplacePickedFile(const Conversion& c, OwnerWindow owner) {
    char outputPath[WorkPathSize];
    BoundedCopy(outputPath, c.workPath, WorkPathSize);
    PutName(c.workPath, c.name);
    unsigned attributes = 0;
    const bool attributesRead = ReadKeptAttributes(c.workPath, &attributes);
    ReplaceResult result = PickedFileUnchanged(c) ? ReplacePath(outputPath, c.workPath) : NotReplaced;
    if (result == NoOneStepReplace && ReplaceInSteps(outputPath, c.workPath, owner)) result = Replaced;
    if (result != Replaced) {
        ShowMessage(owner, c.workPath, "File Not Replaced!", BoxError);
        return false;
    }
    // The data is safe by now; a mark that cannot be set again is not worth a box.
    if (attributesRead) (void)WriteKeptAttributes(c.workPath, attributes);
    return true;
}

// Only a file on a disk is read: a device (NUL, COM1) gives nothing or never ends. A
// name the file calls would change, or that may stand for another file, is not even
// opened: it could be the wrong one.
static FILE* OpenPickedFile(const char* path) {
    if (PathPartEndsInDotOrSpace(path) || !NameIsUnmistakable(path)) return nullptr;
    FILE* input = OpenSharedFile(path, "rb");
    if (input && !IsDiskFile(input)) {
        (void)std::fclose(input);  // nothing was read from it
        return nullptr;
    }
    return input;
}

bool ConvertFile(char* workPath, const char* name, OwnerWindow owner) {
    Conversion c = {workPath, name, {}, {}, {}, false, false};
    const bool outputFits = OutputFits(workPath, name, c.outputName, c.unfinishedName);
    // The name goes in even when something does not fit: WorkPath then names the
    // picked file (cut if need be), as after every other failure.
    if (!PutName(workPath, name) || !outputFits) {
        ReportNameTooLong(owner, name);
        return false;
    }
    FILE* input = OpenPickedFile(workPath);
    if (!input) {
        ShowMessage(owner, workPath, "File Not Open!", BoxError);
        return false;
    }
    Unbuffer(input);
    c.pickedStamped = ReadStreamStamp(input, &c.picked);
    CopyResult result = MakeCopy(input, &c);
    if (std::fclose(input) != 0 && result == CopyDone) result = CopyReadFailed;
    if (result != CopyDone) {
        GiveUpCopy(c, owner, result);
        return false;
    }
    if (GenerateNewFiles != 0) return true;
    if (!c.changed) {
        PutName(workPath, name);
        return true;
    }
    return ReplacePickedFile(c, owner);
}

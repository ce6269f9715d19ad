// One picked file: its repaired copy named "Copy of " + name, kept or put in its place.
// The copy is written under a name of the program's own and takes its real name only
// once it is whole and on the disk, so a crash never leaves a partial "Copy of " file.
// The only files deleted are the ones this run made; the picked file and a "Copy of "
// file already there are replaced only while they are exactly as they were read.
#include "convert.h"

#include <cstring>

#include "bounded_copy.h"
#include "damage_kind.h"
#include "replace_steps.h"
#include "restore.h"
#include "restore_kept.h"
#include "state.h"
#include "work_path.h"

const char OutputPrefix[] = "Copy of ";
static const size_t OutputPrefixLength = sizeof OutputPrefix - 1;
const char UnfinishedCopyStem[] = "~Decrimp 95 unfinished copy";

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

// What ConvertFile knows of the picked file and its copy as it goes. Each file has a
// path of its own, built once, so every call says which file it touches.
struct Conversion {
    char outputName[NameBufferSize];    // "Copy of " + name
    char pickedPath[WorkPathSize];
    char copyPath[WorkPathSize];        // the "Copy of " file beside it
    char unfinishedPath[WorkPathSize];  // the copy while it is written, under a free name of our own
    char backupPath[WorkPathSize];      // where the replace moves the picked file's old bytes
    FileStamp picked;  // as it was opened: it must stay so until the replace
    bool pickedStamped;
    FileStamp copy;    // the "Copy of " file as it was named or matched, likewise
    bool copyStamped;
    bool changed;      // the repair differs from the picked file
};

// The paths of the picked file, of its copy and of the longest name the unfinished copy
// may take must fit, in our buffers and in the platform's file calls, before anything
// is touched. The copy's path is longer than the picked file's, so that one fits too.
static bool BuildPaths(const char* folder, const char* name, Conversion* c) {
    if (NameOffset >= WorkPathSize || !BuildOutputName(c->outputName, name)) return false;
    std::memcpy(c->pickedPath, folder, NameOffset);
    std::memcpy(c->copyPath, folder, NameOffset);
    if (!PutName(c->pickedPath, name) || !PutName(c->copyPath, c->outputName)) return false;
    return PathFitsPlatform(c->copyPath) &&
           PutOwnNameBeside(c->unfinishedPath, c->copyPath, UnfinishedCopyStem, OwnNameTries);
}

// A file reached by its 8.3 alias (LONG~AA2.MP3, typed, or handed back by an old dialog)
// keeps its long name: the copy is named after it, and so is the repair that takes its
// place. A name that differs only in case stays as it was picked. False when the paths
// made from the long name do not fit.
static bool UseLongName(const char* folder, const char* name, Conversion* c) {
    char longName[NameBufferSize];
    const char* leaf = name + NameStart(name);
    if (!ReadLongName(c->pickedPath, longName) || SameFileName(longName, leaf)) return true;
    char named[NameBufferSize];
    const size_t folderLength = static_cast<size_t>(leaf - name);
    if (folderLength >= sizeof named) return false;
    std::memcpy(named, name, folderLength);
    if (!BoundedCopy(named + folderLength, longName, sizeof named - folderLength)) return false;
    return BuildPaths(folder, named, c);
}

// Some C libraries report a failed final flush only from fflush, not from fclose.
// The copy reaches the disk before it gets its name: a power cut after that must
// not leave the name with unwritten bytes behind it.
static bool FinishOutput(FILE* output) {
    const bool flushed = std::fflush(output) == 0 && !std::ferror(output) && FlushToDisk(output);
    const bool closed = std::fclose(output) == 0;
    return flushed && closed;
}

// A save made while the file was read leaves a repair of neither version.
static bool UnchangedSinceOpened(FILE* input, const Conversion& c) {
    FileStamp now;
    return !c.pickedStamped || (ReadStreamStamp(input, &now) && SameFileUnchanged(now, c.picked));
}

// What the repair's pass tells of the damage, and the CRs a file damaged the second way
// keeps: static, since they do not fit a stack and nothing is allocated.
static DamageEvidence Evidence;
static KeptPairs Kept;

// The plain repair (written, or found in an earlier run's copy: plain tells how that
// went) stands for the first kind of damage. For the second the copy must hold the CRs
// the file's own checks keep: written again (compare false) or matched; or the file gets
// no repair at all.
static CopyResult RepairOfItsKind(FILE* input, FILE* copy, bool compare, CopyResult plain, Conversion* c) {
    const PickedBytes picked = {input, Evidence.read};
    const RepairVerdict verdict = DecideRepair(&Evidence, &picked, &Kept);
    if (std::ferror(input)) return CopyReadFailed;  // the search could not read it again
    switch (verdict) {
        case RepairPlain: return plain;
        case RepairNotDamaged: return CopyNotDamaged;
        case RepairUndecided: return CopyUndecided;
        case RepairKeepingPairs: break;
    }
    c->changed = Kept.count < Evidence.pairs;
    return compare ? MatchKeepingPairs(input, copy, Kept, Evidence.format)
                   : CopyKeepingPairs(input, copy, Kept, Evidence.format);
}

// Writes the repair under the unfinished name; on success it is whole and on the disk.
// Anything else removes it again.
static CopyResult WriteUnfinishedCopy(FILE* input, Conversion* c) {
    // A file under the program's own name, picked or not, a crash's leftover or not,
    // is never touched: the copy takes the first such name that is free.
    FILE* output = CreateOwnFile(c->unfinishedPath, c->copyPath, UnfinishedCopyStem);
    if (!output) return CopyWriteFailed;
    Unbuffer(output);
    CopyResult result = CopyRestoring(input, output, &c->changed, &Evidence);
    if (result == CopyDone) result = RepairOfItsKind(input, output, false, result, c);
    if (result == CopyDone && !UnchangedSinceOpened(input, *c)) result = CopyPickedChanged;
    if (!FinishOutput(output) && result == CopyDone) result = CopyWriteFailed;
    if (result != CopyDone) (void)DeletePath(c->unfinishedPath);  // should even this fail, it stays, harmless
    return result;
}

// Overwrite mode has nothing to do for a file the repair leaves as it is.
static bool NothingToReplace(const Conversion& c) {
    return GenerateNewFiles == 0 && !c.changed;
}

// The whole copy takes the name "Copy of ", unless something took that name meanwhile.
static CopyResult NameTheCopy(Conversion* c) {
    if (NothingToReplace(*c)) {
        (void)DeletePath(c->unfinishedPath);  // the picked file is its own repair
        return CopyDone;
    }
    if (!RenameToNewPath(c->unfinishedPath, c->copyPath, nullptr)) {
        (void)DeletePath(c->unfinishedPath);
        return CopyWriteFailed;
    }
    c->copyStamped = ReadPathStamp(c->copyPath, &c->copy);
    return CopyDone;
}

// A "Copy of " file with a second name (a hard link) is that other name's file as well:
// in the picked file's place, the two would share it. Where the count cannot be read,
// it is not taken either.
static bool HasOneName(const Conversion& c) {
    return c.copyStamped && c.copy.links <= 1;
}

// A "Copy of " file that was there before: taken only when it already holds the repair
// (an earlier run made it). Anything else may be the user's own copy and stays as it is;
// so does a link, whose bytes live elsewhere: in the picked file's place it would turn
// the picked file into that link.
static CopyResult UseExistingCopy(FILE* input, Conversion* c) {
    if (IsLinkPath(c->copyPath)) return CopyWriteFailed;
    // Windows flushes a file to disk only through a handle that may write.
    FILE* copy = OpenSharedFile(c->copyPath, GenerateNewFiles != 0 ? "rb" : "r+b");
    if (!copy) return CopyWriteFailed;
    Unbuffer(copy);
    c->copyStamped = ReadStreamStamp(copy, &c->copy);
    CopyResult result = IsDiskFile(copy) && HasOneName(*c) ? MatchRestoring(input, copy, &c->changed, &Evidence)
                                                            : CopyWriteFailed;
    // A copy that differs from the plain repair may still hold the exact one.
    if (result == CopyDone || result == CopyDiffers)
        result = RepairOfItsKind(input, copy, true, result, c);
    if (result == CopyDone && !UnchangedSinceOpened(input, *c)) result = CopyPickedChanged;
    const bool onDisk = result != CopyDone || GenerateNewFiles != 0 || FlushToDisk(copy);
    if ((std::fclose(copy) != 0 || !onDisk) && result == CopyDone) result = CopyWriteFailed;
    return result;
}

static CopyResult MakeCopy(FILE* input, Conversion* c) {
    FileStamp existing;
    if (ReadPathStamp(c->copyPath, &existing)) return UseExistingCopy(input, c);
    const CopyResult result = WriteUnfinishedCopy(input, c);
    return result == CopyDone ? NameTheCopy(c) : result;
}

// Nothing takes the picked file's place; the box names what failed.
static void GiveUpCopy(const Conversion& c, OwnerWindow owner, CopyResult result) {
    switch (result) {
    case CopyReadFailed:
        ShowMessage(owner, c.pickedPath, "File Not Read!", BoxError);
        break;
    case CopyNotDamaged:
        ShowMessage(owner, c.pickedPath, "File Not Damaged!", BoxWarning);
        break;
    case CopyPickedChanged:
        ShowMessage(owner, c.pickedPath, "File Changed While Read!", BoxWarning);
        break;
    case CopyUndecided:
        ShowMessage(owner, c.pickedPath, "Repair Not Certain!", BoxWarning);
        break;
    default:
        ShowMessage(owner, c.copyPath, "File Not Written!", BoxError);
        break;
    }
}

static bool StillAsStamped(const char* path, bool stamped, const FileStamp& stamp) {
    FileStamp now;
    return !stamped || (ReadPathStamp(path, &now) && SameFileUnchanged(now, stamp));
}

// The picked file is replaced only if it is still what was read and the copy still what
// was written or matched: a program that saved either meanwhile keeps its save. A link
// is not replaced by a plain file: the file it leads to would stay damaged.
static bool MayReplace(const Conversion& c) {
    return StillAsStamped(c.pickedPath, c.pickedStamped, c.picked) &&
           StillAsStamped(c.copyPath, c.copyStamped, c.copy) && !IsLinkPath(c.pickedPath);
}

// An empty file of the program's own beside the picked file, where the replace may move
// the picked file's old bytes on the way. Made before the call, so the call never writes
// over a file that someone else made. Without one there is no replace: the rename that
// needs none keeps nothing of the file beyond its bytes, and that is never done unasked.
static bool MakeBackup(Conversion* c) {
    FILE* backup = CreateOwnFile(c->backupPath, c->pickedPath, SetAsideStem);
    if (!backup) return false;
    if (std::fclose(backup) == 0) return true;
    (void)DeletePath(c->backupPath);
    return false;
}

// After the replace the backup holds the picked file as it was read, unless another
// program saved it after the last check. Size and last write time tell: FAT gives a file
// a new number when it is renamed, and a rename moves the change time.
static bool HoldsWhatWasRead(const Conversion& c, const FileStamp& backup) {
    return c.pickedStamped && backup.size == c.picked.size && backup.writeTime == c.picked.writeTime;
}

// The backup goes once the replace is done or given up, unless it holds the picked
// file's old bytes after a failure: then they go back under the picked name, or, where
// that name is not free, a box names the backup, as it does when one cannot go. A save
// that the replace moved there stays too, and the box names it.
static void FinishBackup(const Conversion& c, ReplaceResult result, OwnerWindow owner) {
    FileStamp backup;
    if (!ReadPathStamp(c.backupPath, &backup)) {  // what it holds cannot be told: it stays
        if (result != Replaced) TellKeptAside(owner, c.backupPath);
        return;
    }
    const bool holdsBytes = backup.size != 0;
    if (result != Replaced && holdsBytes) {
        if (!RenameToNewPath(c.backupPath, c.pickedPath, nullptr)) TellKeptAside(owner, c.backupPath);
        return;
    }
    if (result == Replaced && holdsBytes && !HoldsWhatWasRead(c, backup)) {
        TellKeptAside(owner, c.backupPath);
        return;
    }
    if (!DeletePath(c.backupPath) && holdsBytes) TellKeptAside(owner, c.backupPath);
}

// One call puts the repair in place, so the picked file's bytes and the whole repair
// always have a name: the picked file is either replaced whole or left as it was, with
// the repair still beside it. Where the system has no such call, renames do it in steps
// that never lose the picked file's bytes.
static bool ReplacePickedFile(Conversion* c, OwnerWindow owner) {
    unsigned attributes = 0;
    const bool attributesRead = ReadKeptAttributes(c->pickedPath, &attributes);
    ReplaceResult result = NotReplaced;
    if (MayReplace(*c) && MakeBackup(c)) {
        result = ReplacePath(c->copyPath, c->pickedPath, c->backupPath);
        FinishBackup(*c, result, owner);
    }
    if (result == NoOneStepReplace && ReplaceInSteps(c->copyPath, c->pickedPath, owner)) result = Replaced;
    if (result != Replaced) {
        ShowMessage(owner, c->pickedPath, "File Not Replaced!", BoxError);
        return false;
    }
    // The data is safe by now; a mark that cannot be set again is not worth a box.
    if (attributesRead) (void)WriteKeptAttributes(c->pickedPath, attributes);
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

static bool ConvertPickedFile(const char* folder, const char* name, Conversion* c, OwnerWindow owner) {
    FILE* input = OpenPickedFile(c->pickedPath);
    if (!input) {
        ShowMessage(owner, c->pickedPath, "File Not Open!", BoxError);
        return false;
    }
    // Asked only of a file that was opened: a name that may stand for another is not asked at all.
    if (!UseLongName(folder, name, c)) {
        (void)std::fclose(input);  // nothing was read from it
        ReportNameTooLong(owner, name);
        return false;
    }
    Unbuffer(input);
    c->pickedStamped = ReadStreamStamp(input, &c->picked);
    CopyResult result = MakeCopy(input, c);
    if (std::fclose(input) != 0 && result == CopyDone) result = CopyReadFailed;
    if (result != CopyDone) {
        GiveUpCopy(*c, owner, result);
        return false;
    }
    if (GenerateNewFiles != 0 || !c->changed) return true;
    return ReplacePickedFile(c, owner);
}

bool ConvertFile(char* workPath, const char* name, OwnerWindow owner) {
    Conversion c = {};
    bool repaired = false;
    if (BuildPaths(workPath, name, &c))
        repaired = ConvertPickedFile(workPath, name, &c, owner);
    else
        ReportNameTooLong(owner, name);
    // The completion box names the copy after a generate-mode success, otherwise the
    // picked file (cut, when its name does not fit).
    (void)PutName(workPath, repaired && GenerateNewFiles != 0 ? c.outputName : name);
    return repaired;
}

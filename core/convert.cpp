// One picked file: its repaired copy named "Copy of " + name, kept or put in its place.
#include "convert.h"

#include <cstring>

#include "bounded_copy.h"
#include "restore.h"
#include "state.h"
#include "work_path.h"

const char OutputPrefix[] = "Copy of ";
static const size_t OutputPrefixLength = sizeof OutputPrefix - 1;

// Blocks are already large; a second layer of buffering would only copy them again.
// Should the library refuse, its own buffer is still correct, only slower.
static void Unbuffer(FILE* stream) {
    (void)std::setvbuf(stream, nullptr, _IONBF, 0);
}

bool BuildOutputName(char* outputName, const char* name) {
    // A name typed with its sub-folder ("sub\\a.mp3") gets its copy in that folder.
    const size_t folderLength = NameStart(name);
    const size_t prefixEnd = folderLength + OutputPrefixLength;
    if (prefixEnd >= NameBufferSize) return false;
    std::memcpy(outputName, name, folderLength);
    std::memcpy(outputName + folderLength, OutputPrefix, OutputPrefixLength);
    return BoundedCopy(outputName + prefixEnd, name + folderLength, NameBufferSize - prefixEnd) != nullptr;
}

// Both the output name and the output path must fit, in our buffers and in the
// platform's file calls, before anything is touched. The copy's path is the longer
// of the two, so the picked file's fits as well.
static bool OutputFits(char* workPath, const char* name, char* outputName) {
    if (!BuildOutputName(outputName, name)) return false;
    return PutName(workPath, outputName) && PathFitsPlatform(workPath);
}

// In overwrite mode the copy is about to take the picked file's place: its bytes must
// be on the disk first, or a power cut could leave the name with nothing behind it.
static bool ReachesDisk(FILE* stream) {
    return GenerateNewFiles != 0 || FlushToDisk(stream);
}

// Some C libraries report a failed final flush only from fflush, not from fclose.
static bool FinishOutput(FILE* output) {
    const bool flushed = std::fflush(output) == 0 && !std::ferror(output) && ReachesDisk(output);
    const bool closed = std::fclose(output) == 0;
    return flushed && closed;
}

static CopyResult WriteNewCopy(FILE* input, FILE* output) {
    Unbuffer(output);
    CopyResult result = CopyRestoring(input, output);
    if (!FinishOutput(output) && result == CopyDone) result = CopyWriteFailed;
    return result;
}

// A "Copy of " file that was there before: taken only when it already holds the repair
// (an earlier run made it). Anything else may be the user's own copy and stays as it is.
static CopyResult UseExistingCopy(FILE* input, const char* copyPath) {
    // Windows flushes a file to disk only through a handle that may write.
    FILE* copy = OpenSharedFile(copyPath, GenerateNewFiles != 0 ? "rb" : "r+b");
    if (!copy) return CopyWriteFailed;
    Unbuffer(copy);
    CopyResult result = MatchRestoring(input, copy);
    const bool onDisk = result != CopyDone || ReachesDisk(copy);
    if ((std::fclose(copy) != 0 || !onDisk) && result == CopyDone) result = CopyWriteFailed;
    return result;
}

// Nothing takes the picked file's place: a copy this call made is removed again, one
// that was there before stays, and the box names what failed.
static void GiveUpCopy(char* workPath, const char* name, OwnerWindow owner, CopyResult result,
                       bool made) {
    char outputPath[WorkPathSize];
    std::memcpy(outputPath, workPath, WorkPathSize);
    if (made) (void)DeletePath(outputPath);  // if even this fails, the box still tells the user
    PutName(workPath, name);
    if (result == CopyReadFailed)
        ShowMessage(owner, workPath, "File Not Read!", BoxError);
    else
        ShowMessage(owner, outputPath, "File Not Written!", BoxError);
}

// One call puts the repair in place, so the picked file is never missing: it is either
// replaced whole or left as it was, with the repair still beside it.
static bool ReplacePickedFile(char* workPath, const char* name, OwnerWindow owner) {
    char outputPath[WorkPathSize];
    BoundedCopy(outputPath, workPath, WorkPathSize);
    PutName(workPath, name);
    unsigned attributes = 0;
    const bool attributesRead = ReadKeptAttributes(workPath, &attributes);
    if (!ReplacePath(outputPath, workPath)) {
        ShowMessage(owner, workPath, "File Not Replaced!", BoxError);
        return false;
    }
    // The data is safe by now; a mark that cannot be set again is not worth a box.
    if (attributesRead) (void)WriteKeptAttributes(workPath, attributes);
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
    char outputName[NameBufferSize];
    const bool outputFits = OutputFits(workPath, name, outputName);
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
    PutName(workPath, outputName);
    bool exists = false;
    FILE* output = CreateNewFile(workPath, &exists);
    const bool made = output != nullptr;
    CopyResult result = CopyWriteFailed;
    if (made)
        result = WriteNewCopy(input, output);
    else if (exists)
        result = UseExistingCopy(input, workPath);
    if (std::fclose(input) != 0 && result == CopyDone) result = CopyReadFailed;
    if (result != CopyDone) {
        GiveUpCopy(workPath, name, owner, result, made);
        return false;
    }
    if (GenerateNewFiles != 0) return true;
    return ReplacePickedFile(workPath, name, owner);
}

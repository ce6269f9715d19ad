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

// Some C libraries report a failed final flush only here, not from fclose.
static bool FinishOutput(FILE* output) {
    const bool flushed = std::fflush(output) == 0 && !std::ferror(output);
    const bool closed = std::fclose(output) == 0;
    return flushed && closed;
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

// The copy is written but not complete: remove it and leave the picked file alone.
static void AbandonOutput(char* workPath, const char* name, OwnerWindow owner,
                          CopyResult result) {
    char outputPath[WorkPathSize];
    std::memcpy(outputPath, workPath, WorkPathSize);
    (void)DeletePath(outputPath);  // if even this fails, the box below still tells the user
    PutName(workPath, name);
    if (result == CopyReadFailed)
        ShowMessage(owner, workPath, "File Not Read!", BoxError);
    else
        ShowMessage(owner, outputPath, "File Not Written!", BoxError);
}

static void ReplacePickedFile(char* workPath, const char* name, OwnerWindow owner) {
    char outputPath[WorkPathSize];
    BoundedCopy(outputPath, workPath, WorkPathSize);
    PutName(workPath, name);
    if (!DeletePath(workPath) || !MovePath(outputPath, workPath))
        ShowMessage(owner, workPath, "File Not Replaced!", BoxError);
}

void ConvertFile(char* workPath, const char* name, OwnerWindow owner) {
    char outputName[NameBufferSize];
    const bool outputFits = OutputFits(workPath, name, outputName);
    // The name goes in even when something does not fit: WorkPath then names the
    // picked file (cut if need be), as after every other failure.
    if (!PutName(workPath, name) || !outputFits) {
        ReportNameTooLong(owner, name);
        return;
    }
    FILE* input = OpenSharedFile(workPath, "rb");
    if (!input) {
        ShowMessage(owner, workPath, "File Not Open!", BoxError);
        return;
    }
    PutName(workPath, outputName);
    FILE* output = OpenSharedFile(workPath, "wb");
    if (!output) {
        (void)std::fclose(input);  // only read from: nothing to lose
        ShowMessage(owner, workPath, "File Not Written!", BoxError);
        PutName(workPath, name);
        return;
    }
    Unbuffer(input);
    Unbuffer(output);
    CopyResult result = CopyRestoring(input, output);
    if (std::fclose(input) != 0 && result == CopyDone) result = CopyReadFailed;
    if (!FinishOutput(output) && result == CopyDone) result = CopyWriteFailed;
    if (result != CopyDone) {
        AbandonOutput(workPath, name, owner, result);
        return;
    }
    if (GenerateNewFiles != 0) return;
    ReplacePickedFile(workPath, name, owner);
}

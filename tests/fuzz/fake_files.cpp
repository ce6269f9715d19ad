// File calls for the fuzzers, kept in memory. Streams are real FILEs (fopencookie), so
// the core's fread, fwrite, fflush and fclose run as they do on a real file, and any of
// them can be made to fail: a read error, a full disk, a close that loses the data.
#include "fake_files.h"

#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "platform.h"
#include "state.h"

static std::map<std::string, std::string> Files;
static std::set<std::string> Seen;  // paths that no longer read as the fallback
static const char* Fallback = nullptr;
static bool CopiesLeftOut = false;
static uint64_t Schedule = 0;
static unsigned Calls = 0;
static bool Failed = false;
static bool OneStepMissing = false;
static std::string WatchedOriginal, WatchedRepair;
static bool StepLostBytes = false;

struct FakeStream {
    std::string path;
    size_t offset;
    FILE* file;
};
static std::map<FILE*, std::string> Opened;  // the path behind each open stream
static std::map<std::string, unsigned long long> Writes;  // stands in for the last write time

void ResetFakeFiles(const char* fallback) {
    Files.clear();
    Seen.clear();
    Writes.clear();
    Fallback = fallback;
    CopiesLeftOut = false;
    Schedule = 0;
    Calls = 0;
    Failed = false;
    OneStepMissing = false;
    StepLostBytes = false;
}

void PutFakeFile(const std::string& path, const std::string& bytes) {
    Seen.insert(path);
    Files[path] = bytes;
    ++Writes[path];
}

bool GetFakeFile(const std::string& path, std::string* bytes) {
    const auto file = Files.find(path);
    if (file == Files.end()) return false;
    *bytes = file->second;
    return true;
}

bool AnyFakeFileHolds(const std::string& bytes) {
    for (const auto& file : Files) {
        if (file.second == bytes) return true;
    }
    return false;
}

void LeaveCopiesOut() {
    CopiesLeftOut = true;
}

void AnswerWithoutOneStepReplace(const std::string& original, const std::string& repair) {
    OneStepMissing = true;
    WatchedOriginal = original;
    WatchedRepair = repair;
}

bool StepsKeptBothFiles() {
    return !StepLostBytes;
}

void FailFakeCalls(uint64_t schedule) {
    Schedule = schedule;
    Calls = 0;
}

bool FakeCallFailed() {
    return Failed;
}

static bool FailNow() {
    const bool fail = ((Schedule >> (Calls++ % 64)) & 1) != 0;
    Failed = Failed || fail;
    return fail;
}

static bool IsCopyName(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return path.compare(separator == std::string::npos ? 0 : separator + 1, 8, "Copy of ") == 0;
}

static bool Exists(const std::string& path) {
    if (Fallback && Seen.insert(path).second && !(CopiesLeftOut && IsCopyName(path))) Files[path] = Fallback;
    return Files.count(path) != 0;
}

static void CheckPath(const char* path) {
    if (std::strlen(path) >= WorkPathSize) __builtin_trap();
}

static ssize_t ReadFake(void* cookie, char* buffer, size_t size) {
    FakeStream* stream = static_cast<FakeStream*>(cookie);
    if (FailNow()) {
        errno = EIO;
        return -1;
    }
    const auto file = Files.find(stream->path);
    if (file == Files.end() || stream->offset >= file->second.size()) return 0;
    const size_t count = std::min(size, file->second.size() - stream->offset);
    std::memcpy(buffer, file->second.data() + stream->offset, count);
    stream->offset += count;
    return static_cast<ssize_t>(count);
}

static ssize_t WriteFake(void* cookie, const char* buffer, size_t size) {
    FakeStream* stream = static_cast<FakeStream*>(cookie);
    if (FailNow()) {
        errno = ENOSPC;
        return 0;  // what fopencookie takes for a failed write
    }
    std::string& bytes = Files[stream->path];
    if (bytes.size() < stream->offset) bytes.resize(stream->offset);
    bytes.replace(stream->offset, std::min(size, bytes.size() - stream->offset), buffer, size);
    stream->offset += size;
    ++Writes[stream->path];
    return static_cast<ssize_t>(size);
}

// The search reads spans of the picked file again, and the exact repair is written over
// the plain one from the start.
static int SeekFake(void* cookie, off64_t* offset, int whence) {
    FakeStream* stream = static_cast<FakeStream*>(cookie);
    const auto file = Files.find(stream->path);
    const long long size = file == Files.end() ? 0 : static_cast<long long>(file->second.size());
    const long long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<long long>(stream->offset) : size;
    if (*offset < -base) return -1;
    stream->offset = static_cast<size_t>(base + *offset);
    *offset = static_cast<off64_t>(stream->offset);
    return 0;
}

static int CloseFake(void* cookie) {
    Opened.erase(static_cast<FakeStream*>(cookie)->file);
    delete static_cast<FakeStream*>(cookie);
    if (FailNow()) {
        errno = EIO;
        return -1;
    }
    return 0;
}

FILE* OpenSharedFile(const char* path, const char* mode) {
    CheckPath(path);
    if (FailNow()) return nullptr;
    if (mode[0] == 'r' && !Exists(path)) return nullptr;
    if (mode[0] == 'w') {
        (void)Exists(path);
        PutFakeFile(path, "");
    }
    const cookie_io_functions_t calls = {ReadFake, WriteFake, SeekFake, CloseFake};
    FakeStream* stream = new FakeStream{path, 0, nullptr};
    FILE* file = fopencookie(stream, mode, calls);
    if (!file) {
        delete stream;
        return nullptr;
    }
    stream->file = file;
    Opened[file] = path;
    return file;
}

// The fakes hold files only.
bool IsDiskFile(FILE* stream) {
    return Opened.count(stream) != 0;
}

bool DeletePath(const char* path) {
    CheckPath(path);
    if (FailNow() || !Exists(path)) return false;
    Files.erase(path);
    return true;
}

// Never truncates a file already there, as the real one.
FILE* CreateNewFile(const char* path, bool* exists) {
    CheckPath(path);
    *exists = false;
    if (FailNow()) return nullptr;
    if (Exists(path)) {
        *exists = true;
        return nullptr;
    }
    return OpenSharedFile(path, "wb");
}

bool FlushToDisk(FILE*) {
    if (!FailNow()) return true;
    errno = EIO;
    return false;
}

// Never onto a name in use, as the real one.
bool RenameToNewPath(const char* from, const char* to, bool* exists) {
    CheckPath(from);
    CheckPath(to);
    if (FailNow() || !Exists(from)) return false;
    if (Exists(to)) {
        if (exists) *exists = true;
        return false;
    }
    Files[to] = Files[from];
    Files.erase(from);
    ++Writes[to];
    return true;
}

// In one step: to is replaced whole, its old bytes in backup, or both stay as they were;
// or, as ReplaceFileA can fail, to's bytes are left under backup and its name is free.
ReplaceResult ReplacePath(const char* from, const char* to, const char* backup) {
    CheckPath(from);
    CheckPath(to);
    if (backup) CheckPath(backup);
    if (FailNow()) return NotReplaced;
    if (OneStepMissing) return NoOneStepReplace;
    if (!Exists(from) || !Exists(to)) return NotReplaced;
    if (backup) {
        Files[backup] = Files[to];
        Writes[backup] = Writes[to];  // moved there, as ReplaceFileA does: the last write stays
        if (FailNow()) {
            Files.erase(to);
            return NotReplaced;
        }
    }
    Files[to] = Files[from];
    Files.erase(from);
    ++Writes[to];
    return Replaced;
}

// A power cut may come after any step: until the last, both must still be there.
void ReplaceStepTaken(int step) {
    if (step < 3 && !(AnyFakeFileHolds(WatchedOriginal) && AnyFakeFileHolds(WatchedRepair))) StepLostBytes = true;
}

bool ReadKeptAttributes(const char* path, unsigned* attributes) {
    CheckPath(path);
    if (FailNow() || !Exists(path)) return false;
    *attributes = 0;
    return true;
}

bool WriteKeptAttributes(const char* path, unsigned) {
    CheckPath(path);
    return !FailNow() && Exists(path);
}

// The fakes hold no links.
bool IsLinkPath(const char* path) {
    CheckPath(path);
    return false;
}

// A path's own number stands for the file's: the fakes have no other names for a file.
bool ReadPathStamp(const char* path, FileStamp* stamp) {
    CheckPath(path);
    if (!Exists(path)) return false;
    stamp->identified = true;
    stamp->volume = 1;
    stamp->index = std::hash<std::string>()(path);
    stamp->indexHigh = 0;
    stamp->size = Files[path].size();
    stamp->writeTime = stamp->changeTime = Writes[path];
    stamp->links = 1;
    return true;
}

bool ReadStreamStamp(FILE* stream, FileStamp* stamp) {
    const auto open = Opened.find(stream);
    return open != Opened.end() && ReadPathStamp(open->second.c_str(), stamp);
}

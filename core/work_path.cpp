// Every write into WorkPath goes through here, so none can run past its end.
#include "work_path.h"

#include <cstdio>
#include <cstring>

#include "bounded_copy.h"
#include "state.h"

bool PutName(char* workPath, const char* name) {
    if (NameOffset >= WorkPathSize) {
        workPath[WorkPathSize - 1] = '\0';
        return false;
    }
    const size_t room = WorkPathSize - NameOffset;
    if (BoundedCopy(workPath + NameOffset, name, room)) return true;
    workPath[WorkPathSize - 1] = '\0';
    return false;
}

bool PutBeside(char* out, size_t size, const char* path, const char* leaf) {
    const size_t folderLength = NameStart(path);
    if (folderLength >= size) return false;
    std::memcpy(out, path, folderLength);
    return BoundedCopy(out + folderLength, leaf, size - folderLength) != nullptr;
}

bool PutOwnNameBeside(char* out, const char* path, const char* stem, int number) {
    char leaf[NameBufferSize];
    const int length = number <= 1 ? std::snprintf(leaf, sizeof leaf, "%s.tmp", stem)
                                   : std::snprintf(leaf, sizeof leaf, "%s (%d).tmp", stem, number);
    if (length < 0 || static_cast<size_t>(length) >= sizeof leaf) return false;
    return PutBeside(out, WorkPathSize, path, leaf) && PathFitsPlatform(out);
}

FILE* CreateOwnFile(char* out, const char* path, const char* stem) {
    for (int number = 1; number <= OwnNameTries; ++number) {
        if (!PutOwnNameBeside(out, path, stem, number)) return nullptr;
        bool exists = false;
        FILE* created = CreateNewFile(out, &exists);
        if (created || !exists) return created;
    }
    return nullptr;
}

void ReportNameTooLong(OwnerWindow owner, const char* name) {
    char text[NameBufferSize];
    if (!BoundedCopy(text, name, sizeof text)) text[sizeof text - 1] = '\0';
    ShowMessage(owner, text, "File Name Too Long!", BoxError);
}

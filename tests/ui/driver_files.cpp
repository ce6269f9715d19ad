// Temp folders and file bytes for the files the program works on.
#include <cstdlib>
#include <cstring>

#include "driver.h"

bool MakeTempFolder(char* folder, int capacity) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return false;
    for (int attempt = 0; attempt < 100; attempt++) {
        char path[MAX_PATH];
        wsprintfA(path, "%sdecrimp_ui_%lu_%d", temp, GetCurrentProcessId(), attempt);
        if (lstrlenA(path) >= capacity) return false;
        if (CreateDirectoryA(path, nullptr)) {
            lstrcpynA(folder, path, capacity);
            return true;
        }
    }
    return false;
}

bool RemoveFiles(const char* folder) {
    static char names[256][MAX_PATH];
    int count = ListFolder(folder, names, 256);
    bool removed = true;
    for (int i = 0; i < count; i++) {
        char path[MAX_PATH];
        JoinPath(path, sizeof path, folder, names[i]);
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileA(path)) removed = false;
    }
    return removed;
}

bool RemoveFolder(const char* folder) {
    return RemoveFiles(folder) && RemoveDirectoryA(folder) != 0;
}

void JoinPath(char* path, int capacity, const char* folder, const char* name) {
    lstrcpynA(path, folder, capacity);
    int length = lstrlenA(path);
    if (length + 1 < capacity) {
        path[length] = '\\';
        lstrcpynA(path + length + 1, name, capacity - length - 1);
    }
}

bool WriteBytes(const char* path, const char* bytes, DWORD size) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, size, &written, nullptr);
    return CloseHandle(file) && ok && written == size;
}

bool ReadBytes(const char* path, char* bytes, DWORD capacity, DWORD* size) {
    *size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    bool ok = high == 0 && low <= capacity && ReadFile(file, bytes, low, size, nullptr) &&
              *size == low;
    CloseHandle(file);
    return ok;
}

bool FileExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

static int CompareNames(const void* a, const void* b) {
    return strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

int ListFolder(const char* folder, char (*names)[MAX_PATH], int capacity) {
    char pattern[MAX_PATH];
    JoinPath(pattern, sizeof pattern, folder, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
        if (count < capacity) lstrcpynA(names[count++], found.cFileName, MAX_PATH);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    qsort(names, count, MAX_PATH, CompareNames);
    return count;
}

#include "open_result.h"

#include <cstring>

#include "state.h"

// The list form: the directory's NUL sits right before the first name.
static bool IsListForm(size_t nameOffset) {
    return nameOffset > 0 && nameOffset < SelectionBufferSize &&
           SelectionBuffer[nameOffset - 1] == '\0';
}

bool SelectionIsWhole(size_t nameOffset) {
    if (!IsListForm(nameOffset)) return true;
    size_t position = nameOffset;
    while (position < SelectionBufferSize) {
        if (SelectionBuffer[position] == '\0') return true;
        const void* nul = std::memchr(SelectionBuffer + position, '\0', SelectionBufferSize - position);
        if (nul == nullptr) return false;
        position = static_cast<size_t>(static_cast<const char*>(nul) - SelectionBuffer) + 1;
    }
    return false;
}

// Only a drive's root ends in its separator, and it is exactly "X:\": in a
// double-byte code page a folder's name may end in a trail byte 0x5C (表, ソ).
static bool IsDriveRoot(const char* directory, size_t length) {
    const char drive = directory[0];
    const bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    return length == 3 && letter && directory[1] == ':' && directory[2] == '\\';
}

void DropRootSeparator() {
    if (!IsListForm(NameOffset) || !IsDriveRoot(SelectionBuffer, NameOffset - 1u)) return;
    std::memmove(SelectionBuffer + NameOffset - 2, SelectionBuffer + NameOffset - 1,
                 SelectionBufferSize - (NameOffset - 1));
    SelectionBuffer[SelectionBufferSize - 1] = '\0';
    NameOffset--;
}

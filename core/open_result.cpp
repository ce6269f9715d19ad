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

void DropRootSeparator() {
    if (!IsListForm(NameOffset) || NameOffset < 2 || SelectionBuffer[NameOffset - 2] != '\\') return;
    std::memmove(SelectionBuffer + NameOffset - 2, SelectionBuffer + NameOffset - 1,
                 SelectionBufferSize - (NameOffset - 1));
    SelectionBuffer[SelectionBufferSize - 1] = '\0';
    NameOffset--;
}

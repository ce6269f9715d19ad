// The Windows file calls of the core: deny-none sharing, raw bytes.
#include <windows.h>
#include <share.h>

#include "platform.h"

FILE* OpenSharedFile(const char* path, const char* mode) {
    return _fsopen(path, mode, _SH_DENYNO);
}

bool DeletePath(const char* path) {
    return DeleteFileA(path) != 0;
}

bool MovePath(const char* from, const char* to) {
    return MoveFileA(from, to) != 0;
}

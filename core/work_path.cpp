// Every write into WorkPath goes through here, so none can run past its end.
#include "work_path.h"

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

void ReportNameTooLong(OwnerWindow owner, const char* name) {
    char text[NameBufferSize];
    if (!BoundedCopy(text, name, sizeof text)) text[sizeof text - 1] = '\0';
    ShowMessage(owner, text, "File Name Too Long!", BoxError);
}

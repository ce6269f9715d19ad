// Repairs one file in overwrite mode, as a run of the program would, so that the file
// calls can be traced on their own. Usage: convert_one FOLDER NAME
// Exits 0 when the repair took the file's place without a box.
#include <cstdio>
#include <cstring>

#include "convert.h"
#include "recorded_ui.h"
#include "state.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strlen(argv[1]) + 2 >= sizeof WorkPath) {
        std::fprintf(stderr, "usage: convert_one FOLDER NAME\n");
        return 2;
    }
    std::snprintf(WorkPath, sizeof WorkPath, "%s\\", argv[1]);
    NameOffset = static_cast<unsigned short>(std::strlen(WorkPath));
    GenerateNewFiles = 0;
    ConvertFile(WorkPath, argv[2], nullptr);
    return RecordedEvents().empty() ? 0 : 1;
}

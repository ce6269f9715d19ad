// Message boxes and cursor changes recorded (and echoed to stderr) instead of shown.
#include <cstdio>

#include "recorded_ui.h"

std::vector<RecordedEvent>& RecordedEvents() {
    static std::vector<RecordedEvent> events;
    return events;
}

void ShowMessage(OwnerWindow owner, const char* text, const char* caption, unsigned icon) {
    std::fprintf(stderr, "[box 0x%02x] %s: %s\n", icon, caption, text);
    RecordedEvents().push_back({"box", owner, text, caption, icon});
}

void RestoreArrowCursor() {
    RecordedEvents().push_back({"arrow", nullptr, "", "", 0});
}

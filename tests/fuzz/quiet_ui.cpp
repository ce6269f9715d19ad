// Message boxes and cursor changes recorded in silence: with failing file calls the
// fuzzers see boxes on most runs, and echoing each would drown their own output.
#include "recorded_ui.h"

std::vector<RecordedEvent>& RecordedEvents() {
    static std::vector<RecordedEvent> events;
    return events;
}

void ShowMessage(OwnerWindow owner, const char* text, const char* caption, unsigned icon) {
    RecordedEvents().push_back({"box", owner, text, caption, icon});
}

void RestoreArrowCursor() {
    RecordedEvents().push_back({"arrow", nullptr, "", "", 0});
}

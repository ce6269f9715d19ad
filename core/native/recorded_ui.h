// Stand-in for the core's message boxes and cursor: records them in order instead of
// showing them, so tests can read what the user would have seen.
#ifndef DECRIMP_RECORDED_UI_H
#define DECRIMP_RECORDED_UI_H

#include <string>
#include <vector>

#include "platform.h"

struct RecordedEvent {
    std::string kind;  // "box" or "arrow"
    OwnerWindow owner;
    std::string text;
    std::string caption;
    unsigned icon;
};

std::vector<RecordedEvent>& RecordedEvents();

#endif

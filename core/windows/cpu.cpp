// Whether Windows saves the SSE registers, asked of Windows itself: the CPU's own
// answer says nothing about the system, and Windows 95 and NT 4 never save them.
#include <windows.h>

#include "newer_calls.h"
#include "platform.h"

typedef BOOL(WINAPI* FeatureQuery)(DWORD feature);

// Windows reports SSE or SSE2 only where it saves their registers (the same ones);
// Windows 2000 reports SSE alone. Windows 95 has no such call and saves neither.
bool SystemSavesVectorState() {
    // Through void (*)(): the one pointer type GCC lets stand for every other.
    const FeatureQuery present = reinterpret_cast<FeatureQuery>(
        reinterpret_cast<void (*)()>(LookUpCall("kernel32.dll", "IsProcessorFeaturePresent")));
    if (present == nullptr) return false;
    return present(PF_XMMI64_INSTRUCTIONS_AVAILABLE) || present(PF_XMMI_INSTRUCTIONS_AVAILABLE);
}

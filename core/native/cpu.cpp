// The native stand-in: Linux saves every register the CPU reports, and the AVX2
// check asks the system too, so the CPU's answer stands.
#include "platform.h"

bool SystemSavesVectorState() {
    return true;
}

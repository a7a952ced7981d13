// The process-wide engine table. Filled and cleared by the interception
// set-up; read by start-up and the shell to decide which versions exist.
#include "isolation/engine_table.h"

IEENGINE g_engines[kVersionCount];

bool IsVersionAvailable(IEVERSION v, bool multiProcessMode) {
    if (multiProcessMode) return true;
    return IsValidVersion(v) && g_engines[v].loaded == 1;
}

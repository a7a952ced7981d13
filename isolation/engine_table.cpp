// The process-wide engine table. Filled and cleared by the interception
// set-up; read by start-up and the shell to decide which versions exist.
#include "app/versions.h"

IEENGINE g_engines[kVersionCount];

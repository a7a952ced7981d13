#pragma once
// The contract with Fennick, the developer toolbar installed on its own, is
// shared with the stand-in component and lives in contracts/.
#include "contracts/fennick_panel.h"

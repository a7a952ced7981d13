#pragma once
// The stand-in WebBrowser control, {8856F961-340A-11D0-A96B-00C04FD705A2},
// served by every version's stand-in shell library.
#include <windows.h>

namespace standin {

// Makes a control for engine version `version` (5 meaning 5.5, 6, 7, 8 or
// 9) and queries it for `iid`. `requested` is the class identifier its
// factory was asked for, which the control's probe interface reports.
HRESULT CreateWebBrowser(int version, REFCLSID requested, REFIID iid, void** out);

// Objects of the control library still alive (DllCanUnloadNow).
LONG LiveBrowserObjects();

}  // namespace standin

#include "engines/browser/web_browser.h"
#include "engines/browser/com_util.h"

namespace standin {
LONG g_liveObjects = 0;
HRESULT CreateWebBrowser(int, REFIID, void** out) { if (out) *out = nullptr; return E_NOTIMPL; }
LONG LiveBrowserObjects() { return g_liveObjects; }
}  // namespace standin

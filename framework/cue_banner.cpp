#include "cue_banner.h"

#include "errors.h"
#include "handles.h"
#include "wine.h"

#include <commctrl.h>

#include <new>

namespace fw {
namespace {

constexpr UINT_PTR kCueSubclassId = 0x43554542;  // "CUEB"
// The field's hint, found again by a later call (and by tests).
constexpr const wchar_t* kCueProp = L"fw.CueBanner";

struct Cue {
    std::wstring text;
    bool whileFocused = false;
};

void DrawCue(HWND edit, const Cue& cue) {
    if (cue.text.empty() || GetWindowTextLengthW(edit) > 0) return;
    if (!cue.whileFocused && GetFocus() == edit) return;
    RECT area{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
    WindowDC dc(edit);
    if (!dc.get()) return;
    Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc.get(), cue.text.c_str(), static_cast<int>(cue.text.size()), &area,
              DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT CALLBACK CueProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    return Guarded("cue banner", LRESULT{0}, [&]() -> LRESULT {
        auto* cue = reinterpret_cast<Cue*>(data);
        switch (message) {
        case WM_PAINT: {
            const LRESULT result = DefSubclassProc(edit, message, wParam, lParam);
            DrawCue(edit, *cue);
            return result;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            // The hint comes or goes with the focus.
            InvalidateRect(edit, nullptr, TRUE);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(edit, &CueProc, kCueSubclassId);
            RemovePropW(edit, kCueProp);
            delete cue;
            break;
        default:
            break;
        }
        return DefSubclassProc(edit, message, wParam, lParam);
    });
}

} // namespace

void SetCueBanner(HWND edit, const std::wstring& text, bool whileFocused) {
    if (!edit) return;
    if (!RunningUnderWine()) {
        SendMessageW(edit, EM_SETCUEBANNER, whileFocused ? TRUE : FALSE, reinterpret_cast<LPARAM>(text.c_str()));
        return;
    }
    if (auto* cue = static_cast<Cue*>(GetPropW(edit, kCueProp))) {
        cue->text = text;
        cue->whileFocused = whileFocused;
    } else {
        cue = new (std::nothrow) Cue{text, whileFocused};
        if (!cue) return;
        if (!SetPropW(edit, kCueProp, cue)) {
            delete cue;
            return;
        }
        if (!SetWindowSubclass(edit, &CueProc, kCueSubclassId, reinterpret_cast<DWORD_PTR>(cue))) {
            RemovePropW(edit, kCueProp);
            delete cue;
            return;
        }
    }
    InvalidateRect(edit, nullptr, TRUE);
}

std::wstring DrawnCueBanner(HWND edit) {
    const auto* cue = edit ? static_cast<const Cue*>(GetPropW(edit, kCueProp)) : nullptr;
    return cue ? cue->text : std::wstring();
}

} // namespace fw

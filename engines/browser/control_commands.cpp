// Commands of the stand-in control (IOleCommandTarget and ExecWB): the
// page's unload question, text size, refresh and stop, printing through the
// system's print dialog, and a print preview window.
#include "engines/browser/browser_control.h"

#include <commdlg.h>
#include <mshtmcid.h>

#include <algorithm>
#include <new>

namespace standin {

namespace {

// Letter paper at 96 pixels per inch, with half-inch margins.
constexpr int kSheetWidth = 816;
constexpr int kSheetHeight = 1056;
constexpr int kSheetMargin = 48;

void SetBool(VARIANT* out, bool value) {
    if (!out) return;
    VariantClear(out);
    V_VT(out) = VT_BOOL;
    V_BOOL(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetLong(VARIANT* out, long value) {
    if (!out) return;
    VariantClear(out);
    V_VT(out) = VT_I4;
    V_I4(out) = value;
}

// The print preview: sheets of paper side by side, each showing its part of
// the page. It keeps its own reference to the page, so it stays usable
// after the control moves on.
struct Preview {
    std::shared_ptr<Page> page;
    PaintSettings settings;
};

LRESULT CALLBACK PreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* preview = reinterpret_cast<Preview*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) DestroyWindow(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
        FillRect(dc, &client, grey);
        DeleteObject(grey);
        if (preview && preview->page) {
            // Two sheets side by side, scaled to the window.
            const int gap = 16;
            const double scale = std::min((client.right - 3.0 * gap) / (2.0 * kSheetWidth),
                                          (client.bottom - 2.0 * gap) / double(kSheetHeight));
            if (scale > 0.05) {
                HDC memory = CreateCompatibleDC(dc);
                HBITMAP sheet = CreateCompatibleBitmap(dc, kSheetWidth, kSheetHeight);
                HGDIOBJ old = SelectObject(memory, sheet);
                const int body = kSheetHeight - 2 * kSheetMargin;
                for (int i = 0; i < 2; ++i) {
                    RECT paper{0, 0, kSheetWidth, kSheetHeight};
                    FillRect(memory, &paper, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
                    int saved = SaveDC(memory);
                    IntersectClipRect(memory, kSheetMargin, kSheetMargin, kSheetWidth - kSheetMargin,
                                      kSheetHeight - kSheetMargin);
                    RECT area{kSheetMargin, kSheetMargin - i * body, kSheetWidth - kSheetMargin,
                              kSheetHeight - kSheetMargin};
                    PaintResult result = PaintPage(*preview->page, memory, area, preview->settings);
                    RestoreDC(memory, saved);
                    if (i > 0 && result.contentHeight <= body) break;  // one sheet is enough
                    const int x = gap + i * (int(kSheetWidth * scale) + gap);
                    SetStretchBltMode(dc, HALFTONE);
                    StretchBlt(dc, x, gap, int(kSheetWidth * scale), int(kSheetHeight * scale), memory, 0, 0,
                               kSheetWidth, kSheetHeight, SRCCOPY);
                }
                SelectObject(memory, old);
                DeleteObject(sheet);
                DeleteDC(memory);
            }
        }
        EndPaint(window, &ps);
        return 0;
    }
    case WM_SIZE:
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_NCDESTROY:
        delete preview;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// ---------------------------------------------------------------------------
// IOleCommandTarget

HRESULT WebBrowser::QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) {
    if (!commands) return E_POINTER;
    if (text) text->cwActual = 0;
    if (group && *group != kCgidMshtml) return OLECMDERR_E_UNKNOWNGROUP;
    for (ULONG i = 0; i < count; ++i) {
        DWORD flags = 0;
        if (!group) {
            switch (commands[i].cmdID) {
            case OLECMDID_ONUNLOAD:
            case OLECMDID_ZOOM:
            case OLECMDID_GETZOOMRANGE:
            case OLECMDID_REFRESH:
            case OLECMDID_PRINT:
            case OLECMDID_PRINTPREVIEW:
                flags = OLECMDF_SUPPORTED | (page_ ? OLECMDF_ENABLED : 0);
                break;
            case OLECMDID_STOP:
                flags = OLECMDF_SUPPORTED | (job_ ? OLECMDF_ENABLED : 0);
                break;
            default:
                break;
            }
        } else if (commands[i].cmdID == IDM_PRINT || commands[i].cmdID == IDM_PRINTPREVIEW ||
                   commands[i].cmdID == IDM_REFRESH) {
            flags = OLECMDF_SUPPORTED | (page_ ? OLECMDF_ENABLED : 0);
        }
        commands[i].cmdf = flags;
    }
    return S_OK;
}

HRESULT WebBrowser::Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out) {
    ComPtr<IWebBrowser2> keepAlive(static_cast<IWebBrowser2*>(this));
    const bool prompt = option != OLECMDEXECOPT_DONTPROMPTUSER;
    if (group && *group == kCgidMshtml) {
        switch (command) {
        case IDM_PRINT: return Print(prompt);
        case IDM_PRINTPREVIEW: return PrintPreview();
        case IDM_REFRESH: return Refresh();
        default: return OLECMDERR_E_NOTSUPPORTED;
        }
    }
    if (group) return OLECMDERR_E_UNKNOWNGROUP;
    switch (command) {
    case OLECMDID_ONUNLOAD:
        SetBool(out, prompt ? AskUnload() : true);
        return S_OK;
    case OLECMDID_ZOOM: {
        if (in && V_VT(in) != VT_EMPTY && V_VT(in) != VT_NULL) {
            const long level = VariantLong(in, -1);
            if (level < 0 || level > 4) return E_INVALIDARG;
            textSizeLevel_ = static_cast<int>(level);
            context_->settings.textSizePercent = TextSizePercent(textSizeLevel_);
            // The page is as long as its text is large: laid out again.
            contentMeasured_ = false;
            if (window_) InvalidateRect(window_, nullptr, FALSE);
        }
        SetLong(out, textSizeLevel_);
        return S_OK;
    }
    case OLECMDID_GETZOOMRANGE:
        SetLong(out, MAKELONG(0, 4));
        return S_OK;
    case OLECMDID_REFRESH: return Refresh();
    case OLECMDID_STOP: return Stop();
    case OLECMDID_PRINT: return Print(prompt);
    case OLECMDID_PRINTPREVIEW: return PrintPreview();
    default: return OLECMDERR_E_NOTSUPPORTED;
    }
}

// ---------------------------------------------------------------------------
// The unload question

bool WebBrowser::AskUnload() {
    if (!page_ || !ScriptsAllowed() || silent_) return true;
    const auto bodies = page_->document.ElementsByTag(L"body");
    if (bodies.empty()) return true;
    const std::wstring* handler = bodies.front()->Attribute(L"onbeforeunload");
    if (!handler) return true;
    const std::optional<std::wstring> message = BeforeUnloadMessage(*handler);
    if (!message) return true;
    const std::wstring text = L"Are you sure you want to navigate away from this page?\n\n" + *message +
                              L"\n\nPress OK to continue, or Cancel to stay on the current page.";
    HWND owner = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
    const wchar_t* caption = version_ >= 7 ? L"Message from webpage" : L"Microsoft Internet Explorer";
    return MessageBoxW(owner, text.c_str(), caption, MB_OKCANCEL | MB_ICONWARNING) == IDOK;
}

// ---------------------------------------------------------------------------
// Printing

HRESULT WebBrowser::Print(bool prompt) {
    if (!page_) return OLECMDERR_E_DISABLED;
    PRINTDLGW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
    dialog.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE;
    if (!prompt) dialog.Flags |= PD_RETURNDEFAULT;
    const BOOL chosen = PrintDlgW(&dialog);
    if (dialog.hDevMode) GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames) GlobalFree(dialog.hDevNames);
    if (!chosen) {
        if (dialog.hDC) DeleteDC(dialog.hDC);
        // No error means the user cancelled, which is not a failure.
        return CommDlgExtendedError() == 0 ? S_OK : E_FAIL;
    }
    HDC dc = dialog.hDC;
    if (!dc) return E_FAIL;

    const std::wstring title = Title();
    DOCINFOW info{};
    info.cbSize = sizeof(info);
    info.lpszDocName = title.c_str();
    HRESULT hr = S_OK;
    if (StartDocW(dc, &info) <= 0) {
        hr = E_FAIL;
    } else {
        const int dpi = std::max(GetDeviceCaps(dc, LOGPIXELSY), 1);
        const int width = GetDeviceCaps(dc, HORZRES);
        const int height = GetDeviceCaps(dc, VERTRES);
        const int margin = dpi / 2;
        const int body = std::max(height - 2 * margin, 1);
        PaintSettings settings = context_->settings;
        settings.zoomPercent = std::clamp(dpi * 100 / 96, 10, 1000);
        for (int sheet = 0; sheet < 100; ++sheet) {
            if (StartPage(dc) <= 0) {
                hr = E_FAIL;
                break;
            }
            const int saved = SaveDC(dc);
            IntersectClipRect(dc, margin, margin, width - margin, height - margin);
            RECT area{margin, margin - sheet * body, width - margin, height - margin};
            const PaintResult result = PaintPage(*page_, dc, area, settings);
            RestoreDC(dc, saved);
            EndPage(dc);
            if ((sheet + 1) * body >= result.contentHeight) break;
        }
        if (SUCCEEDED(hr)) EndDoc(dc);
        else AbortDoc(dc);
    }
    DeleteDC(dc);
    return hr;
}

HRESULT WebBrowser::PrintPreview() {
    if (!page_) return OLECMDERR_E_DISABLED;
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = PreviewProc;
        wc.hInstance = ThisModule();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = L"StandInPrintPreview";
        return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) return E_FAIL;
    auto* preview = new (std::nothrow) Preview{page_, context_->settings};
    if (!preview) return E_OUTOFMEMORY;
    HWND owner = window_ ? GetAncestor(window_, GA_ROOT) : nullptr;
    const std::wstring caption = L"Print Preview - " + Title();
    HWND window = CreateWindowExW(0, L"StandInPrintPreview", caption.c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 900, 700, owner, nullptr, ThisModule(),
                                  preview);
    if (!window) {
        delete preview;
        return E_FAIL;
    }
    ShowWindow(window, SW_SHOW);
    return S_OK;
}

}  // namespace standin

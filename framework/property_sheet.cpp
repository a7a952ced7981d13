#include "property_sheet.h"

#include "errors.h"
#include "strings.h"

namespace fw {

namespace {
// The sheet being started on this thread: the system's callback carries no
// pointer of ours, so DoModal leaves it here for the callback to pick up.
thread_local PropertySheetDialog* t_starting = nullptr;
// Posted to the sheet by its start callback; it arrives once the system has
// finished building the sheet (buttons placed, first page created).
constexpr UINT kSheetReady = WM_APP + 0x51;
constexpr UINT_PTR kSubclassId = 0x5348;
} // namespace

PropertyPage::PropertyPage(UINT templateId, std::wstring title) : m_templateId(templateId), m_title(std::move(title)) {}

INT_PTR CALLBACK PropertyPage::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return fw::Guarded("property page", INT_PTR{FALSE}, [&]() -> INT_PTR {
        auto self = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (message == WM_INITDIALOG) {
            // lParam is the system's copy of the page description; its own
            // lParam is the page object.
            const auto* description = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
            self = description ? reinterpret_cast<PropertyPage*>(description->lParam) : nullptr;
            if (!self) return TRUE;
            SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
            return self->OnInitDialog();
        }
        if (!self) return FALSE;
        switch (message) {
        case WM_COMMAND:
            return self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
        case WM_NCDESTROY:
            self->m_hWnd = nullptr;
            SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            return FALSE;
        default:
            return FALSE;
        }
    });
}

PropertySheetDialog::PropertySheetDialog(std::wstring caption) : m_caption(std::move(caption)) {}

INT_PTR PropertySheetDialog::DoModal(HWND owner) {
    if (m_pages.empty() || m_hWnd) return -1;
    std::vector<PROPSHEETPAGEW> pages;
    pages.reserve(m_pages.size());
    for (PropertyPage* page : m_pages) {
        PROPSHEETPAGEW description{};
        description.dwSize = sizeof(description);
        description.dwFlags = PSP_USETITLE;
        description.hInstance = ResourceModule();
        description.pszTemplate = MAKEINTRESOURCEW(page->m_templateId);
        description.pfnDlgProc = &PropertyPage::StaticProc;
        description.pszTitle = page->m_title.c_str();
        description.lParam = reinterpret_cast<LPARAM>(page);
        pages.push_back(description);
    }
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | PSH_NOCONTEXTHELP;
    header.hwndParent = owner;
    header.hInstance = ResourceModule();
    header.pszCaption = m_caption.c_str();
    header.nPages = static_cast<UINT>(pages.size());
    header.nStartPage = 0;
    header.ppsp = pages.data();
    header.pfnCallback = &PropertySheetDialog::SheetCallback;

    t_starting = this;
    const INT_PTR result = ::PropertySheetW(&header);
    t_starting = nullptr;
    m_hWnd = nullptr;
    return result;
}

int CALLBACK PropertySheetDialog::SheetCallback(HWND hwnd, UINT message, LPARAM) {
    return fw::Guarded("property sheet callback", int{0}, [&]() -> int {
        if (message != PSCB_INITIALIZED || !t_starting || !hwnd) return 0;
        PropertySheetDialog* self = t_starting;
        t_starting = nullptr;
        self->m_hWnd = hwnd;
        if (SetWindowSubclass(hwnd, &PropertySheetDialog::SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(self)))
            PostMessageW(hwnd, kSheetReady, 0, 0);
        return 0;
    });
}

LRESULT CALLBACK PropertySheetDialog::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data) {
    return fw::Guarded("property sheet", LRESULT{0}, [&]() -> LRESULT {
        auto self = reinterpret_cast<PropertySheetDialog*>(data);
        switch (message) {
        case kSheetReady:
            if (self) self->OnInitDialog();
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, &PropertySheetDialog::SubclassProc, kSubclassId);
            if (self) self->m_hWnd = nullptr;
            break;
        default:
            break;
        }
        return DefSubclassProc(hwnd, message, wParam, lParam);
    });
}

} // namespace fw

#include "ribbon_elements.h"

#include "core/messages.h"
#include "framework/app.h"
#include "framework/cue_banner.h"
#include "framework/mdi.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "vantrell_view.h"

#include <commctrl.h>

#include <cwctype>

namespace {
// The active tab's view, or null.
CVantrellView* ActiveTabView() {
    fw::WinApp* app = fw::GetApp();
    auto frame = app ? dynamic_cast<fw::MDIFrameWnd*>(fw::Window::FromHandle(app->MainWindow())) : nullptr;
    return frame ? dynamic_cast<CVantrellView*>(frame->ActiveView()) : nullptr;
}

void ClearMenu(HMENU menu) {
    while (GetMenuItemCount(menu) > 0) DeleteMenu(menu, 0, MF_BYPOSITION);
}

// The popup a button shows: its menu, or the menu's first submenu.
HMENU PopupOf(HMENU menu) {
    HMENU sub = menu ? GetSubMenu(menu, 0) : nullptr;
    return sub ? sub : menu;
}

std::wstring Trim(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}
} // namespace

bool TranslatedTooltip(UINT id, std::wstring& tooltip, std::wstring& description) {
    std::wstring text;
    if (!LoadTranslatedString(text, id) || text.empty()) return false;
    const size_t lf = text.find(L'\n');
    description = text.substr(0, lf);
    const std::wstring second = lf == std::wstring::npos ? text : text.substr(lf + 1);
    tooltip.clear();
    for (size_t i = 0; i < second.size(); ++i) {
        if (second[i] != L'&') tooltip += second[i];
        else if (i + 1 < second.size() && second[i + 1] == L'&') tooltip += L'&', ++i;
    }
    return true;
}

namespace {
void UpdateElementTooltip(fw::RibbonElement& element) {
    if (element.Id() == 0 || element.Id() == -1) return;
    std::wstring tip, description;
    if (!TranslatedTooltip(static_cast<UINT>(element.Id()), tip, description)) return;
    element.SetToolTip(tip);
    element.SetDescription(description);
}
} // namespace

void CMyMFCRibbonButton::UpdateTooltipInfo() { UpdateElementTooltip(*this); }
void CMyMFCRibbonMainPanelButton::UpdateTooltipInfo() { UpdateElementTooltip(*this); }

UINT CMyMFCRibbonButton::OnShowPopupMenu() {
    fw::WinApp* app = fw::GetApp();
    if (!app || !app->MainWindow() || !HasMenu()) return 0;
    HMENU popup = PopupOf(Menu());
    if (Id() == ID_BACK || Id() == ID_FORWARD) {
        CVantrellView* view = ActiveTabView();
        if (!view) return 0;
        const auto list = Id() == ID_BACK ? view->BackList() : view->ForwardList();
        if (list.empty()) return 0;
        ClearMenu(popup);
        for (const CHistoryObj* entry : list) AppendMenuW(popup, MF_STRING, entry->m_nID, entry->m_strTitle.c_str());
        return ShowMenu(Menu());
    }
    if (Id() != ID_FAVORITES && !m_bMenuTranslated) {
        m_bMenuTranslated = true;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            const UINT id = GetMenuItemID(popup, i);
            std::wstring text;
            if (id == 0 || id == static_cast<UINT>(-1) || !LoadTranslatedString(text, id)) continue;
            ModifyMenuW(popup, static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, id, text.c_str());
        }
        // The one-tab and the all-tabs refresh commands apart.
        if (Id() == ID_REFRESH && GetMenuItemCount(popup) > 2) InsertMenuW(popup, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    }
    return ShowMenu(Menu());
}

void CMyMFCRibbonBar::NameToggleCategory() {
    if (m_pToggleCategory)
        m_pToggleCategory->SetName(TranslatedString(IsMinimized() ? IDS_SHOW_RIBBON : IDS_MINIMIZE_RIBBON));
    RecalcLayout();
}

void CMyMFCRibbonBar::OnLButtonDown(POINT point) {
    if (!m_pToggleCategory || HitTestCategory(point) != m_pToggleCategory) {
        fw::RibbonBar::OnLButtonDown(point);
        return;
    }
    const bool wasMinimized = IsMinimized();
    SetMinimized(!wasMinimized);
    // Embedded windows (the search box's edit) follow their elements.
    if (fw::RibbonCategory* active = ActiveCategory())
        for (const auto& panel : active->Panels())
            for (const auto& element : panel->Elements()) {
                const RECT& r = element->Rect();
                element->OnShow(wasMinimized && r.right > r.left && r.bottom > r.top);
            }
    NameToggleCategory();
}

HWND CMFCRibbonGoogleSearch::CreateEdit(HWND parent, DWORD style) {
    HWND edit = fw::RibbonComboBox::CreateEdit(parent, style);
    fw::SetCueBanner(edit, ToolTip(), false);
    return edit;
}

void CMFCRibbonGoogleSearch::Search(const wchar_t* text, bool addToList) {
    const std::wstring query = Trim(text ? std::wstring(text) : EditText());
    if (query.empty()) return;
    fw::WinApp* app = fw::GetApp();
    if (app && app->MainWindow()) {
        auto param = NewStringParam<WPARAM>(query);
        if (!PostMessageW(app->MainWindow(), UWM_FRAME_WEB_SEARCH, param, 0)) TakeStringParam(param);
    }
    if (addToList) AddItem(query);
}

void CMFCRibbonGoogleSearch::FocusEdit() {
    HWND edit = EditWindow();
    if (!edit) return;
    SendMessageW(edit, EM_SETSEL, 0, GetWindowTextLengthW(edit));
    SetFocus(edit);
}

CMyMFCCaptionBar::CMyMFCCaptionBar() : m_pTaskbarList(CreateTaskbarList()) {
    if (!m_pTaskbarList) return;
    m_hOverlayIcon.reset(static_cast<HICON>(LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IDI_TASKBAR_OVERLAY),
                                                       IMAGE_ICON, 16, 16, 0)));
}

CMyMFCCaptionBar::~CMyMFCCaptionBar() = default;

LRESULT CMyMFCCaptionBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = fw::CaptionBar::WindowProc(message, wParam, lParam);
    if (message != WM_SHOWWINDOW || !m_pTaskbarList || !m_hOverlayIcon) return result;
    fw::WinApp* app = fw::GetApp();
    HWND main = app ? app->MainWindow() : nullptr;
    if (!main) return result;
    // A failing call (the interface is partly there under Wine) changes
    // nothing the user needs.
    if (wParam && !m_bOverlayShown) {
        m_bOverlayShown = true;
        m_pTaskbarList->SetOverlayIcon(main, m_hOverlayIcon.get(), TranslatedString(IDS_REOPEN_TAB_TIP).c_str());
    } else if (!wParam && m_bOverlayShown) {
        m_bOverlayShown = false;
        m_pTaskbarList->SetOverlayIcon(main, nullptr, L"");
    }
    return result;
}

std::wstring UrlEncode(const std::wstring& input, bool encodeReserved) {
    static const std::wstring kReserved = L"$&+,./:;=?@-_!*()'";
    static const std::wstring kUnsafe = L" \"<>#{}|\\^~[]`";
    auto hex = [](unsigned byte) { return fw::Format(L"%%%02X", byte & 0xFF); };
    auto replaceAll = [](std::wstring& s, size_t from, const std::wstring& what, const std::wstring& with) {
        for (size_t at = s.find(what, from); at != std::wstring::npos; at = s.find(what, at + with.size()))
            s.replace(at, what.size(), with);
    };
    std::wstring text = input;
    replaceAll(text, 0, L"%", L"%25");
    if (encodeReserved)
        for (wchar_t c : kReserved) replaceAll(text, 0, std::wstring(1, c), hex(c));
    for (wchar_t c : kUnsafe) replaceAll(text, 0, std::wstring(1, c), hex(c));
    for (wchar_t c = 1; c <= 31; ++c) replaceAll(text, 0, std::wstring(1, c), hex(c));
    replaceAll(text, 0, std::wstring(1, wchar_t(127)), hex(127));

    auto isAsciiAlnum = [](wchar_t c) {
        return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    };
    for (size_t i = 0; i < text.size();) {
        const wchar_t c = text[i];
        if (isAsciiAlnum(c) || c == L'%' || kReserved.find(c) != std::wstring::npos) {
            ++i;
            continue;
        }
        // One code point: a surrogate pair counts as one character.
        const size_t units = (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                              text[i + 1] <= 0xDFFF)
                                 ? 2
                                 : 1;
        const std::wstring character = text.substr(i, units);
        const std::string utf8 = fw::ToNarrow(character, CP_UTF8);
        std::wstring encoded;
        for (char byte : utf8) encoded += hex(static_cast<unsigned char>(byte));
        replaceAll(text, i, character, encoded);
        i += encoded.size();
    }
    return text;
}

#include "options_sheet.h"

#include "browser/control_site.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/cue_banner.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"
#include "shell_app.h"

#include <commctrl.h>

#include <cwctype>
#include <functional>

namespace {
void SetTranslatedText(HWND window, UINT id) {
    if (std::wstring text = TranslatedString(id); !text.empty()) SetWindowTextW(window, text.c_str());
}

const fw::Profile* AppProfile() {
    fw::WinApp* app = fw::GetApp();
    return app ? &app->GetProfile() : nullptr;
}

void WriteOption(const wchar_t* name, int value) {
    if (const fw::Profile* profile = AppProfile()) (void)profile->WriteInt(setting::kSection, name, value);
}

// A change of the settings tabs follow. The application's live settings are
// their one owner: the change goes there and the application applies them
// (ApplyTabSettings) and tells every tab. A sheet without the application
// applies what is stored, which the caller has just written.
void ChangeTabSettings(const std::function<void(Settings&)>& change) {
    if (IShellApp* app = GetShellApp()) {
        change(app->LiveSettings());
        app->NotifySettingsChanged();
    } else if (const fw::Profile* profile = AppProfile()) {
        ApplyTabSettings(ReadSettings(*profile));
    }
}

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void SetChecked(HWND button, bool on) { SendMessageW(button, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

std::wstring TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int n = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

std::wstring TrimBlanks(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    return text.substr(first, last - first);
}
} // namespace

// ---------------------------------------------------------------------------
// The sheet

void CCustomizePropSheet::OnInitDialog() {
    HWND sheet = Handle();
    for (int id : {IDCANCEL, kApplyButton, kHelpButton})
        if (HWND button = GetDlgItem(sheet, id)) ShowWindow(button, SW_HIDE);
    HWND close = GetDlgItem(sheet, IDOK);
    if (!close) return;
    SetTranslatedText(close, IDS_CLOSE_BUTTON);
    if (HWND apply = GetDlgItem(sheet, kApplyButton)) {
        RECT r{};
        GetWindowRect(apply, &r);
        MapWindowPoints(nullptr, sheet, reinterpret_cast<POINT*>(&r), 2);
        MoveWindow(close, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
}

void ShowOptionsSheet(HWND owner) {
    CCustomizePropSheet sheet(TranslatedString(IDS_OPTIONS_TITLE));
    COptionsGeneralPageDlg general;
    COptionsLanguagePageDlg language;
    COptionsAdvancedPageDlg advanced;
    sheet.AddPage(general);
    sheet.AddPage(language);
    sheet.AddPage(advanced);
    sheet.DoModal(owner);
}

// ---------------------------------------------------------------------------
// General

const COptionsGeneralPageDlg::SearchChoice COptionsGeneralPageDlg::kSearchChoices[3] = {
    {1, IDS_SEARCH_NEW_DEFAULT_TAB}, {2, IDS_SEARCH_ACTIVE_TAB}, {3, IDS_SEARCH_FIRST_DEFAULT_TAB}};

COptionsGeneralPageDlg::COptionsGeneralPageDlg() : fw::PropertyPage(IDD_OPTIONS_GENERAL, TranslatedString(IDS_PAGE_GENERAL)) {}

BOOL COptionsGeneralPageDlg::OnInitDialog() {
    m_bFilling = true;
    SetTranslatedText(Item(IDC_GROUP_HOME_PAGE), IDS_GROUP_HOMEPAGE);
    SetTranslatedText(Item(IDC_BLANK_PAGE), IDS_BLANK_PAGE);
    SetTranslatedText(Item(IDC_DEFAULT_HOME), IDS_DEFAULT_HOME);
    SetTranslatedText(Item(IDC_GROUP_WEB_SEARCH), IDS_GROUP_WEB_SEARCH);
    SetTranslatedText(Item(IDC_DISABLE_TASKBAR), IDS_DISABLE_TASKBAR_THUMBNAILS);

    HWND edit = Item(IDC_HOME_PAGE);
    const std::wstring cue = TranslatedString(IDS_HOMEPAGE_CUE);
    // The cue stays while the empty edit has the focus.
    fw::SetCueBanner(edit, cue, true);
    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);

    IShellApp* app = GetShellApp();
    const int current = app ? app->LiveSettings().searchBehaviour : 0;
    HWND combo = Item(IDC_SEARCH_BEHAVIOUR);
    for (const SearchChoice& choice : kSearchChoices) {
        const std::wstring text = TranslatedString(choice.stringId);
        const LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (index < 0) continue;
        SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(index), choice.value);
        if (choice.value == current) SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }

    const fw::Profile* profile = AppProfile();
    SetChecked(Item(IDC_DISABLE_TASKBAR), profile && profile->GetInt(setting::kSection, setting::kDisableWin7Taskbar, 0) == 1);
    const std::wstring home = profile ? profile->GetString(setting::kSection, setting::kHomePage, L"") : std::wstring();
    SetWindowTextW(edit, home.c_str());
    m_bFilling = false;
    return TRUE;
}

void COptionsGeneralPageDlg::OnHomePageChanged() const {
    const std::wstring home = TrimBlanks(TextOf(Item(IDC_HOME_PAGE)));
    if (const fw::Profile* profile = AppProfile()) {
        if (!home.empty()) (void)profile->WriteString(setting::kSection, setting::kHomePage, home);
        else (void)profile->DeleteValue(setting::kSection, setting::kHomePage);
    }
    ChangeTabSettings([&](Settings& s) { s.homePage = home.empty() ? GetDefaultHomePage() : home; });
}

void COptionsGeneralPageDlg::OnSearchBehaviourChanged() const {
    HWND combo = Item(IDC_SEARCH_BEHAVIOUR);
    const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return;
    const int value = static_cast<int>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    if (IShellApp* app = GetShellApp()) app->LiveSettings().searchBehaviour = value;
    WriteOption(setting::kSearchBehaviour, value);
}

void COptionsGeneralPageDlg::OnTaskbarClicked() const {
    const bool off = IsChecked(Item(IDC_DISABLE_TASKBAR));
    WriteOption(setting::kDisableWin7Taskbar, off ? 1 : 0);
    if (IShellApp* app = GetShellApp()) {
        app->LiveSettings().disableWin7Taskbar = off;
        app->NotifyTaskbarSetting(off);
    }
}

bool COptionsGeneralPageDlg::OnCommand(UINT id, UINT code, HWND) {
    switch (id) {
    case IDC_HOME_PAGE:
        if (code != EN_CHANGE) return false;
        if (!m_bFilling) OnHomePageChanged();
        return true;
    case IDC_BLANK_PAGE:
        // The edit's change notice stores it.
        if (code == BN_CLICKED) SetWindowTextW(Item(IDC_HOME_PAGE), L"about:blank");
        return true;
    case IDC_DEFAULT_HOME:
        if (code == BN_CLICKED) SetWindowTextW(Item(IDC_HOME_PAGE), L"");
        return true;
    case IDC_SEARCH_BEHAVIOUR:
        if (code == CBN_SELCHANGE && !m_bFilling) OnSearchBehaviourChanged();
        return true;
    case IDC_DISABLE_TASKBAR:
        if (code == BN_CLICKED && !m_bFilling) OnTaskbarClicked();
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// Language

COptionsLanguagePageDlg::COptionsLanguagePageDlg()
    : fw::PropertyPage(IDD_OPTIONS_LANGUAGE, TranslatedString(IDS_PAGE_LANGUAGE)) {}

BOOL COptionsLanguagePageDlg::OnInitDialog() {
    SetTranslatedText(Item(IDC_LANGUAGE_PROMPT), IDS_CHOOSE_LANGUAGE);
    SetTranslatedText(Item(IDC_LANGUAGE_NOTICE), IDS_LANGUAGE_NEXT_START);

    // The language files lie below the program's own folder.
    const std::wstring folder = fw::FolderOfPath(fw::ModuleFileName(nullptr, MAX_PATH));
    if (!folder.empty()) SetCurrentDirectoryW(folder.c_str());

    // The row the loader chose is the first of the requested identifier,
    // or of its primary language.
    const WORD requested = RequestedLanguage();
    const wchar_t* chosen = FindLanguageFile(requested);
    if (!chosen) chosen = FindLanguageFile(static_cast<WORD>(requested & 0x3FF));

    HWND list = Item(IDC_LANGUAGE_LIST);
    for (const LanguageEntry& row : g_languageTable) {
        std::wstring name;
        if (!ReadLanguageString(row.file, name, IDS_LANGUAGE_NAME) || name.empty()) continue;
        const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (index < 0) continue;
        SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(index), row.id);
        if (row.file == chosen) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    return TRUE;
}

bool COptionsLanguagePageDlg::OnCommand(UINT id, UINT code, HWND) {
    if (id != IDC_LANGUAGE_LIST) return false;
    if (code != LBN_SELCHANGE) return true;
    HWND list = Item(IDC_LANGUAGE_LIST);
    const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return true;
    // The running program keeps its texts; the notice on the page says so.
    WriteOption(setting::kLangId, static_cast<int>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(index), 0)));
    return true;
}

// ---------------------------------------------------------------------------
// Advanced

COptionsAdvancedPageDlg::COptionsAdvancedPageDlg()
    : fw::PropertyPage(IDD_OPTIONS_ADVANCED, TranslatedString(IDS_PAGE_ADVANCED)) {}

BOOL COptionsAdvancedPageDlg::OnInitDialog() {
    SetTranslatedText(Item(IDC_MULTI_PROCESS), IDS_MULTI_PROCESS_OPTION);
    SetTranslatedText(Item(IDC_GROUP_EXPERIMENTAL), IDS_GROUP_EXPERIMENTAL);
    SetTranslatedText(Item(IDC_DISABLE_WINDOW_EXTERNAL), IDS_DISABLE_WINDOW_EXTERNAL);
    SetTranslatedText(Item(IDC_DISABLE_FILTERS), IDS_DISABLE_FILTERS);
    if (IShellApp* app = GetShellApp()) {
        SetChecked(Item(IDC_DISABLE_WINDOW_EXTERNAL), app->LiveSettings().disableWindowExternal);
        SetChecked(Item(IDC_DISABLE_FILTERS), app->LiveSettings().disableFilters);
    }
    // The stored mode, which may differ from the one this process runs in.
    const fw::Profile* profile = AppProfile();
    SetChecked(Item(IDC_MULTI_PROCESS), profile && profile->GetInt(setting::kSection, setting::kMultiProcessMode, 0) == 1);
    return TRUE;
}

bool COptionsAdvancedPageDlg::OnCommand(UINT id, UINT code, HWND control) {
    if (id != IDC_DISABLE_WINDOW_EXTERNAL && id != IDC_DISABLE_FILTERS && id != IDC_MULTI_PROCESS) return false;
    if (code != BN_CLICKED) return true;
    const bool on = IsChecked(control ? control : Item(static_cast<int>(id)));
    switch (id) {
    case IDC_DISABLE_WINDOW_EXTERNAL:
        // Pages of every open tab ask for window.external at each use.
        WriteOption(setting::kDisableWindowExternal, on ? 1 : 0);
        ChangeTabSettings([on](Settings& s) { s.disableWindowExternal = on; });
        break;
    case IDC_DISABLE_FILTERS:
        // Filter objects the engines create from now on follow it.
        WriteOption(setting::kDisableFilters, on ? 1 : 0);
        ChangeTabSettings([on](Settings& s) { s.disableFilters = on; });
        break;
    default:
        // The mode is chosen at start; the box's text says so.
        WriteOption(setting::kMultiProcessMode, on ? 1 : 0);
        break;
    }
    return true;
}

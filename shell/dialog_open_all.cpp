#include "dialog_open_all.h"

#include "core/settings.h"
#include "framework/app.h"
#include "framework/handles.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <commdlg.h>

#include <algorithm>
#include <cwctype>

namespace {
// More text than this on the clipboard is not an address; it is not taken.
constexpr size_t kMaxClipboardChars = 32 * 1024;
constexpr DWORD kBrowseBufferChars = 4096;

void SetTranslatedText(HWND window, UINT id) {
    if (std::wstring text = TranslatedString(id); !text.empty()) SetWindowTextW(window, text.c_str());
}

fw::Profile* AppProfile() {
    fw::WinApp* app = fw::GetApp();
    return app ? &app->GetProfile() : nullptr;
}
} // namespace

const CDialogOpenAll::VersionBox CDialogOpenAll::kBoxes[6] = {
    {IDC_OPEN_ALL_IE55, IE55, IDR_IE55},      {IDC_OPEN_ALL_IE6, IE6, IDR_IE6},
    {IDC_OPEN_ALL_IE7, IE7, IDR_IE7},         {IDC_OPEN_ALL_IE8, IE8, IDR_IE8},
    {IDC_OPEN_ALL_IE9, IE9, IDR_IE9},         {IDC_OPEN_ALL_IE_DEFAULT, IEDefault, IDR_IE_DEFAULT},
};

INT_PTR CDialogOpenAll::DoModal(HWND parent) { return fw::Dialog::DoModal(IDD_OPEN_ALL, parent); }

std::wstring CDialogOpenAll::AddressFromClipboardText(const std::wstring& text) {
    size_t first = 0, last = text.size();
    while (first < last && std::iswspace(text[first])) ++first;
    while (last > first && std::iswspace(text[last - 1])) --last;
    std::wstring address = text.substr(first, last - first);
    address.erase(std::remove_if(address.begin(), address.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }),
                  address.end());
    if (address.rfind(L"http://", 0) == 0 || address.rfind(L"https://", 0) == 0) return address;
    return {};
}

std::wstring CDialogOpenAll::ClipboardText() const {
    const bool unicode = IsClipboardFormatAvailable(CF_UNICODETEXT) != FALSE;
    if (!unicode && !IsClipboardFormatAvailable(CF_TEXT)) return {};
    fw::ClipboardScope clipboard(Handle());
    if (!clipboard.ok()) return {};
    fw::GlobalLockScope block(GetClipboardData(unicode ? CF_UNICODETEXT : CF_TEXT));
    if (!block.data()) return {};
    if (unicode) {
        const auto* chars = static_cast<const wchar_t*>(block.data());
        const size_t room = block.size() / sizeof(wchar_t);
        const size_t length = std::find(chars, chars + room, L'\0') - chars;
        return length > kMaxClipboardChars ? std::wstring() : std::wstring(chars, length);
    }
    const auto* bytes = static_cast<const char*>(block.data());
    const size_t length = std::find(bytes, bytes + block.size(), '\0') - bytes;
    return length > kMaxClipboardChars ? std::wstring() : fw::ToWide(std::string_view(bytes, length));
}

BOOL CDialogOpenAll::OnInitDialog() {
    SetTranslatedText(Handle(), IDS_OPEN_ALL_TITLE);
    SetTranslatedText(Item(IDC_OPEN_ALL_PROMPT), IDS_OPEN_ALL_PROMPT);
    SetTranslatedText(Item(IDOK), IDS_OK_BUTTON);
    SetTranslatedText(Item(IDCANCEL), IDS_CANCEL_BUTTON);
    SetTranslatedText(Item(IDC_BROWSE), IDS_BROWSE_BUTTON);

    const fw::Profile* profile = AppProfile();
    for (const VersionBox& box : kBoxes) {
        HWND button = Item(box.controlId);
        // Icons of the resources are shared: the system frees them.
        if (HICON icon = LoadIconW(fw::ResourceModule(), MAKEINTRESOURCEW(box.iconId)))
            SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        // The version's name tells the box apart for screen readers and tooltips.
        SetWindowTextW(button, g_versionInfo[static_cast<size_t>(box.version)].name);
        const bool checked = !profile || ReadOpenAll(*profile, box.version);
        SendMessageW(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    m_strOpenAllURL = ClipboardText();
    if (!m_strOpenAllURL.empty()) m_strOpenAllURL = AddressFromClipboardText(m_strOpenAllURL);
    SetWindowTextW(Item(IDC_OPEN_ALL_URL), m_strOpenAllURL.c_str());
    return TRUE;
}

void CDialogOpenAll::OnVersionBoxClicked(const VersionBox& box) const {
    const bool checked = SendMessageW(Item(box.controlId), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (const fw::Profile* profile = AppProfile())
        (void)profile->WriteInt(setting::kSection, OpenAllSettingName(box.version), checked ? 1 : 0);
}

void CDialogOpenAll::OnBrowse() {
    std::wstring filter = TranslatedString(IDS_OPEN_ALL_FILE_FILTER);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    std::vector<wchar_t> file(kBrowseBufferChars, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = Handle();
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kBrowseBufferChars;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return;
    m_strOpenAllURL = file.data();
    SetWindowTextW(Item(IDC_OPEN_ALL_URL), m_strOpenAllURL.c_str());
}

bool CDialogOpenAll::DialogProc(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    if (message != WM_COMMAND) return false;
    const int id = LOWORD(wParam);
    result = TRUE;
    switch (id) {
    case IDOK: {
        HWND edit = Item(IDC_OPEN_ALL_URL);
        const int length = GetWindowTextLengthW(edit);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(std::max(0, GetWindowTextW(edit, text.data(), length + 1))));
        m_strOpenAllURL = text;
        EndDialog(IDOK);
        return true;
    }
    case IDCANCEL:
        EndDialog(IDCANCEL);
        return true;
    case IDC_BROWSE:
        OnBrowse();
        return true;
    default:
        break;
    }
    if (HIWORD(wParam) != BN_CLICKED) return false;
    for (const VersionBox& box : kBoxes)
        if (box.controlId == id) {
            OnVersionBoxClicked(box);
            return true;
        }
    return false;
}

#include "script_errors_dialog.h"

#include "framework/handles.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <commctrl.h>

#include <cstring>
#include <utility>

namespace {
void SetTranslatedText(HWND window, UINT id) {
    if (std::wstring text = TranslatedString(id); !text.empty()) SetWindowTextW(window, text.c_str());
}

// The columns of the list, left to right, with their widths in pixels.
struct Column {
    UINT title;
    int width;
    int format;
};
constexpr Column kColumns[] = {
    {IDS_SCRIPT_ERROR_MESSAGE, 250, LVCFMT_LEFT},
    {IDS_SCRIPT_ERROR_LINE, 50, LVCFMT_RIGHT},
    {IDS_SCRIPT_ERROR_CHARACTER, 70, LVCFMT_RIGHT},
    {IDS_SCRIPT_ERROR_ADDRESS, 250, LVCFMT_LEFT},  // then widened to the list's right edge
};
constexpr int kAddressColumn = 3;
} // namespace

INT_PTR CScriptErrorsDialog::DoModal(HWND parent) { return fw::Dialog::DoModal(IDD_SCRIPT_ERRORS, parent); }

BOOL CScriptErrorsDialog::OnInitDialog() {
    // The title says how many errors there were when not all are listed.
    std::wstring title = TranslatedString(IDS_SCRIPT_ERRORS_TITLE);
    if (m_count > m_errors.size())
        title += fw::Format(L" (%u / %u)", static_cast<unsigned>(m_errors.size()), static_cast<unsigned>(m_count));
    SetWindowTextW(Handle(), title.c_str());
    SetTranslatedText(Item(IDC_SCRIPT_ERROR_COPY), IDS_SCRIPT_ERROR_COPY);
    SetTranslatedText(Item(IDCANCEL), IDS_CLOSE_BUTTON);
    EnableWindow(Item(IDC_SCRIPT_ERROR_COPY), !m_errors.empty());

    HWND list = Item(IDC_SCRIPT_ERROR_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const Column& c : kColumns) {
        std::wstring text = TranslatedString(c.title);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = c.format;
        column.cx = c.width;
        column.pszText = text.data();
        column.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
        ++index;
    }
    FillList();
    // The last column takes the rest of the list's width.
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kAddressColumn, LVSCW_AUTOSIZE_USEHEADER);
    return TRUE;
}

void CScriptErrorsDialog::FillList() const {
    HWND list = Item(IDC_SCRIPT_ERROR_LIST);
    int row = 0;
    for (const ScriptError& e : m_errors) {
        std::wstring message = e.message;
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = message.data();
        const LRESULT at = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (at < 0) continue;
        std::wstring cells[] = {std::to_wstring(e.line), std::to_wstring(e.character), e.address};
        for (int sub = 1; sub <= 3; ++sub) {
            LVITEMW cell{};
            cell.iSubItem = sub;
            cell.pszText = cells[sub - 1].data();
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&cell));
        }
        ++row;
    }
}

bool CScriptErrorsDialog::CopyRows() const {
    const std::wstring text = ScriptErrorsAsText(m_errors);
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    fw::GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!block) return false;
    {
        fw::GlobalLockScope lock(block.get());
        if (!lock.data()) return false;
        std::memcpy(lock.data(), text.c_str(), bytes);
    }
    fw::ClipboardScope clipboard(Handle());
    if (!clipboard.ok() || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, block.get())) return false;
    // The clipboard owns the block now.
    (void)block.release();
    return true;
}

bool CScriptErrorsDialog::DialogProc(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    if (message != WM_COMMAND) return false;
    result = TRUE;
    switch (LOWORD(wParam)) {
    case IDC_SCRIPT_ERROR_COPY:
        // A clipboard held by another program leaves it as it was; the
        // user can try again.
        if (!CopyRows()) MessageBeep(MB_ICONWARNING);
        return true;
    case IDOK:
    case IDCANCEL:
        EndDialog(IDCANCEL);
        return true;
    default:
        return false;
    }
}

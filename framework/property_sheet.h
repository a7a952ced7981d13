#pragma once
// A modal property sheet with pages made from dialog templates.
//
// Who creates what: the caller constructs the pages and the sheet on the
// user-interface thread, adds the pages in tab order and runs DoModal; the
// sheet creates the pages' windows (the first one at once, the others when
// their tab is first chosen) and destroys them all when it closes. The
// objects belong to the caller and must outlive DoModal; the sheet never
// deletes a page.
//
//   CGeneralPage general;               // : fw::PropertyPage
//   CMySheet sheet(L"Options");          // : fw::PropertySheetDialog
//   sheet.AddPage(general);
//   sheet.DoModal(owner);
//
// Errors: window and dialog code returns bool or the dialog result; DoModal
// gives -1 when the sheet could not be shown. No exception leaves a window
// procedure of this file.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace fw {

class PropertySheetDialog;

// One page: a child dialog created from `templateId`, shown under the tab
// `title`. Its window exists from its first showing until the sheet closes.
class PropertyPage {
public:
    PropertyPage(UINT templateId, std::wstring title);
    virtual ~PropertyPage() = default;
    PropertyPage(const PropertyPage&) = delete;
    PropertyPage& operator=(const PropertyPage&) = delete;

    // Null while the page's window does not exist.
    HWND Handle() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    const std::wstring& Title() const { return m_title; }
    UINT TemplateId() const { return m_templateId; }

protected:
    // WM_INITDIALOG; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND from a control of the page; true when handled.
    virtual bool OnCommand(UINT /*id*/, UINT /*code*/, HWND /*control*/) { return false; }

private:
    friend class PropertySheetDialog;
    static INT_PTR CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);

    UINT m_templateId;
    // The tab's text; the sheet points at it for as long as it runs.
    std::wstring m_title;
    HWND m_hWnd = nullptr;
};

// The sheet. Its own buttons are the system's (OK, Cancel, Apply, Help);
// a derived sheet may rearrange them in OnInitDialog.
class PropertySheetDialog {
public:
    explicit PropertySheetDialog(std::wstring caption);
    virtual ~PropertySheetDialog() = default;
    PropertySheetDialog(const PropertySheetDialog&) = delete;
    PropertySheetDialog& operator=(const PropertySheetDialog&) = delete;

    // Adds a page at the end; call before DoModal.
    void AddPage(PropertyPage& page) { m_pages.push_back(&page); }
    // Shows the sheet until it is closed, its owner disabled meanwhile.
    // Returns the system's result (positive when closed by OK, 0 when
    // cancelled) or -1 when the sheet could not be shown (no page, or the
    // system refused).
    INT_PTR DoModal(HWND owner);
    // The sheet's window while it runs; null otherwise.
    HWND Handle() const { return m_hWnd; }

    // Ids of the system's buttons on a sheet.
    static constexpr int kApplyButton = 0x3021;
    static constexpr int kHelpButton = 9;

protected:
    // Called once, after the sheet and its first page exist and before the
    // user can act on them.
    virtual void OnInitDialog() {}

private:
    static int CALLBACK SheetCallback(HWND, UINT, LPARAM);
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    std::wstring m_caption;
    std::vector<PropertyPage*> m_pages;
    HWND m_hWnd = nullptr;
};

} // namespace fw

#pragma once
// The tab content: the window that fills a tab, with the address box above
// the page. It lives on the tab's engine thread (multi-thread mode) or on
// the main thread of the tab's child process, and its window is always a
// child of the tab view's window.
#include "core/messages.h"
#include "core/versions.h"

#include "framework/window.h"

#include <cstdint>
#include <string>

// Receives the notifications of a tab content that does not post them to its
// view itself: in a child process, whatever carries them to the parent. Called
// on the dialog's thread; the owner must outlive the dialog.
class ITabContentOwner {
public:
    virtual void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam) = 0;
    virtual void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam) = 0;

protected:
    ~ITabContentOwner() = default;
};

// Base of the tab content: the operations a splitter bar on the dialog uses.
class CDialogFNK : public fw::Dialog {
public:
    virtual bool SetSplitterPosition(int /*splitterId*/, int /*percent*/) { return false; }
    virtual bool GetSplitterArea(int /*splitterId*/, RECT* /*area*/, RECT* /*limits*/) { return false; }
};

class CDialogWBContainer : public CDialogFNK {
public:
    // In a child process the dialog moves itself on WM_SIZE, reports to its
    // owner and ends the process's loop when destroyed.
    bool m_bChildProcess = false;
    // Where notifications go in a child process; in-process they are posted
    // to m_hWndView. Not owned.
    ITabContentOwner* m_pOwner = nullptr;
    HWND m_hWndView = nullptr;
    std::wstring m_strURL;
    IEVERSION m_nVersion = IEDefault;
    HWND m_hWndTopLevel = nullptr;
    int m_nZoom = 100;
    DWORD m_dwDownloadFlags = 0x4070;

    // Adds an address to the address list (newest first, no duplicates in
    // any letter case) and tells the view when it is new.
    void AddUrlToAddressList(const std::wstring& url);
    void Navigate(const std::wstring& url);
    void RecalcLayout();

    // Notifications to the view: posted in multi-thread mode (strings as new
    // heap strings), handed to the owner in a child process.
    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam);
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void PostNcDestroy() override;

private:
    static LRESULT CALLBACK AddressEditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

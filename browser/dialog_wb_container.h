#pragma once
// The tab content: the window that fills a tab, with the address box above
// the page. It lives on the tab's engine thread (multi-thread mode) or on
// the main thread of the tab's child process, and its window is always a
// child of the tab view's window.
#include "app/versions.h"
#include "hosting/messages.h"

#include "framework/window.h"

#include <string>

// Base of the tab content: the operations a splitter bar on the dialog uses.
class CDialogFNK : public fw::Dialog {
public:
    virtual bool SetSplitterPosition(int /*splitterId*/, int /*percent*/) { return false; }
    virtual bool GetSplitterArea(int /*splitterId*/, RECT* /*area*/, RECT* /*limits*/) { return false; }
};

class CDialogWBContainer : public CDialogFNK {
public:
    static constexpr UINT kTemplateId = 310;
    static constexpr int kAddressBoxId = 1001;

    // Writes a notification to the parent process; set by a child process's
    // start-up. False when there is no pipe to write to.
    using ParentWriter = bool (*)(CFNKXProcessMessage& message);
    static void SetParentWriter(ParentWriter writer);

    // In a child process the dialog moves itself on WM_SIZE, reports through
    // the parent writer and ends the process's loop when destroyed.
    bool m_bChildProcess = false;
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
    // heap strings), written to the pipe in a child process.
    void Notify(UINT message, std::uint32_t wParam, std::uint32_t lParam);
    void NotifyString(UINT message, const std::wstring& text, std::uint32_t lParam);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void PostNcDestroy() override;

private:
    static LRESULT CALLBACK AddressEditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

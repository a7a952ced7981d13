#pragma once
// A window standing in for a tab view: it records every private message (and
// WM_COMMAND) the engine side posts to it and takes over what the protocol hands the view
// (heap strings, the marshalled browser), as the real view does. Create it,
// use it and destroy it on one thread, which must run its messages.
#include "core/messages.h"

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::wstring text, text2;  // string parameters, taken over as the view does
};

class TestView {
public:
    TestView();
    ~TestView();
    TestView(const TestView&) = delete;
    TestView& operator=(const TestView&) = delete;

    std::vector<Received> Of(UINT message) const;
    // A message of that kind arrived (with that first string, when given).
    bool Got(UINT message, const std::wstring& text = {}) const;
    // The addresses of UWM_TAB_ADDRESS, in arrival order.
    std::vector<std::wstring> Addresses() const;
    // Windows placed inside the view, of any thread or process.
    std::vector<HWND> Children() const;

    HWND hwnd = nullptr;
    std::vector<Received> received;
    std::vector<IDispatch*> browsers;  // unmarshalled from UWM_TAB_BROWSER_READY, released with the view

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
};

// A manual-reset event for an engine thread to signal as it goes.
struct DoneEvent {
    DoneEvent() : h(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~DoneEvent() { CloseHandle(h); }
    DoneEvent(const DoneEvent&) = delete;
    DoneEvent& operator=(const DoneEvent&) = delete;
    bool Signalled() const { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }
    HANDLE h;
};

} // namespace testing_support

#include "thread.h"

#include "window.h"

#include <utility>

namespace fw {

namespace {
thread_local WinThread* t_current = nullptr;
}

WinThread::~WinThread() = default;

WinThread* WinThread::Current() { return t_current; }

bool WinThread::CreateThread(DWORD flags, UINT stackSize, LPSECURITY_ATTRIBUTES security) {
    // Suspended first, so that the handle and identifier are stored before
    // the thread can run (and possibly delete this object).
    DWORD id = 0;
    UniqueHandle queueReady(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!queueReady) return false;
    // Only a thread that starts now is waited for.
    m_queueReady = (flags & CREATE_SUSPENDED) ? nullptr : queueReady.get();
    HANDLE h = ::CreateThread(security, stackSize, &WinThread::ThreadMain, this, flags | CREATE_SUSPENDED, &id);
    if (!h) return false;
    m_thread.reset(h);
    m_threadId = id;
    if (!(flags & CREATE_SUSPENDED)) {
        ResumeThread(h);
        // Once the thread has its message queue, messages posted to it are
        // kept; wait for that (or for the thread's early end).
        HANDLE waits[2] = {queueReady.get(), h};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    }
    return true;
}

DWORD WINAPI WinThread::ThreadMain(void* p) {
    auto self = static_cast<WinThread*>(p);
    t_current = self;
    // Make sure the thread has a message queue before anyone posts to it.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    if (HANDLE ready = std::exchange(self->m_queueReady, nullptr)) SetEvent(ready);
    int code = self->InitInstance() ? self->Run() : self->ExitInstance();
    t_current = nullptr;
    if (self->m_bAutoDelete) delete self;
    return static_cast<DWORD>(code);
}

bool WinThread::PumpMessage() {
    MSG msg;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        m_exitCode = got == 0 ? static_cast<int>(msg.wParam) : 1;
        return false;
    }
    if (msg.hwnd == nullptr && OnThreadMessage(msg)) return true;
    if (!PreTranslateMessage(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

int WinThread::Run() {
    while (PumpMessage()) {
    }
    return ExitInstance();
}

bool WinThread::PreTranslateMessage(MSG& msg) {
    for (HWND h = msg.hwnd; h; h = GetParent(h)) {
        if (Window* w = Window::FromHandle(h); w && w->PreTranslateMessage(msg)) return true;
        if (h == m_hMainWnd) break;
    }
    return false;
}

} // namespace fw

#include "spare_child.h"

#include "framework/errors.h"

#include <memory>
#include <utility>

CSpareChildPool& CSpareChildPool::Get() {
    // Never destroyed: proxies may still ask while statics go.
    static CSpareChildPool* pool = new CSpareChildPool;
    return *pool;
}

void CSpareChildPool::EndSpareLocked() {
    if (m_process) {
        TerminateProcess(m_process.process(), 0);
        WaitForSingleObject(m_process.process(), 2000);
    }
    m_process.reset();
    m_strProgram.clear();
}

void CSpareChildPool::Prepare(const std::wstring& program) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bShutDown) return;
    if (m_process) {
        // A spare that died is replaced; a live one of another program too.
        if (WaitForSingleObject(m_process.process(), 0) == WAIT_TIMEOUT && m_strProgram == program) return;
        EndSpareLocked();
    }
    std::wstring commandLine =
        L"\"" + program + L"\" -pspare=" + std::to_wstring(static_cast<unsigned long>(GetCurrentProcessId()));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // Below normal while it waits, so it never competes with the tabs that
    // are loading; it takes its normal priority once adopted.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, BELOW_NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process))
        return;
    m_process = fw::ProcessHandles(process);
    m_strProgram = program;
}

bool CSpareChildPool::Adopt(const std::wstring& program, const std::wstring& arguments, fw::ProcessHandles& process) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_bShutDown || !m_process || m_strProgram != program) return false;
    if (WaitForSingleObject(m_process.process(), 0) != WAIT_TIMEOUT) {
        EndSpareLocked();
        return false;
    }
    const std::wstring name = std::to_wstring(static_cast<unsigned long>(m_process.id()));
    HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kSpareWindowClass, name.c_str());
    if (!window) return false;  // still starting: it serves the next tab
    COPYDATASTRUCT data{};
    data.dwData = 1;
    data.cbData = static_cast<DWORD>((arguments.size() + 1) * sizeof(wchar_t));
    data.lpData = const_cast<wchar_t*>(arguments.c_str());
    DWORD_PTR taken = 0;
    if (!SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                             kAdoptWaitMs, &taken) ||
        taken != TRUE) {
        EndSpareLocked();
        return false;
    }
    SetPriorityClass(m_process.process(), NORMAL_PRIORITY_CLASS);
    process = std::move(m_process);
    m_process.reset();
    m_strProgram.clear();
    return true;
}

namespace {
DWORD WINAPI PrepareOnPoolThread(void* parameter) {
    std::unique_ptr<std::wstring> program(static_cast<std::wstring*>(parameter));
    return fw::Guarded("PrepareOnPoolThread", DWORD{1}, [&] {
        CSpareChildPool::Get().Prepare(*program);
        return DWORD{0};
    });
}
} // namespace

void CSpareChildPool::PrepareSoon(const std::wstring& program) {
    auto queued = std::make_unique<std::wstring>(program);
    if (QueueUserWorkItem(&PrepareOnPoolThread, queued.get(), WT_EXECUTEDEFAULT)) {
        static_cast<void>(queued.release());  // the pool thread owns it now
        return;
    }
    Prepare(program);
}

void CSpareChildPool::Shutdown() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_bShutDown = true;
    EndSpareLocked();
}

namespace {
struct SpareWait {
    std::wstring arguments;
    bool started = false;
};

LRESULT CALLBACK SpareWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* wait = reinterpret_cast<SpareWait*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        // One start, of sane size, ending in its terminator.
        constexpr DWORD kMaxBytes = 64 * 1024;
        if (!wait || wait->started || !data || data->dwData != 1 || !data->lpData || data->cbData < sizeof(wchar_t) ||
            data->cbData > kMaxBytes || data->cbData % sizeof(wchar_t) != 0)
            return FALSE;
        const auto* text = static_cast<const wchar_t*>(data->lpData);
        const size_t units = data->cbData / sizeof(wchar_t);
        if (text[units - 1] != L'\0') return FALSE;
        wait->arguments.assign(text, units - 1);
        wait->started = true;
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
} // namespace

bool RunSpareWait(DWORD parentId, std::wstring& arguments) {
    fw::UniqueHandle parent(OpenProcess(SYNCHRONIZE, FALSE, parentId));
    if (!parent) return false;
    WNDCLASSW wc{};
    wc.lpfnWndProc = SpareWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSpareWindowClass;
    RegisterClassW(&wc);
    SpareWait wait;
    const std::wstring name = std::to_wstring(static_cast<unsigned long>(GetCurrentProcessId()));
    HWND window = CreateWindowExW(0, kSpareWindowClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    if (!window) return false;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&wait));
    HANDLE handles[1] = {parent.get()};
    bool quit = false;
    while (!wait.started && !quit) {
        const DWORD r = MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) break;  // the parent ended, or the wait failed
        MSG msg;
        while (!wait.started && !quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            quit = msg.message == WM_QUIT;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    if (!wait.started) return false;
    arguments = std::move(wait.arguments);
    return true;
}

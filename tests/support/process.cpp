#include "process.h"

#include "framework/strings.h"

#include <thread>

namespace testing_support {

std::wstring StageFolder() { return fw::FolderOfPath(fw::ModuleFileName(nullptr)); }

bool Process::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process) return true;
    // Keep this thread's windows answering: the program may send messages to
    // a window of ours (an owner or parent) while it ends.
    HANDLE h = process.get();
    DWORD start = GetTickCount();
    bool ended = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) break;
        DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (!ended) {
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 5000);
        return false;
    }
    if (exitCode) GetExitCodeProcess(process.get(), exitCode);
    return true;
}

Process::~Process() {
    // Never leave a started program behind, whatever the test did.
    if (process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.get(), 98);
        WaitForSingleObject(process.get(), 5000);
    }
}

namespace {
bool Start(Process& out, const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingDir,
           HANDLE output) {
    std::wstring path = exe.find(L'\\') == std::wstring::npos && exe.find(L':') == std::wstring::npos
                            ? StageFolder() + exe
                            : exe;
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    std::wstring dir = workingDir.empty() ? StageFolder() : workingDir;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = output;
        si.hStdError = output;
    }
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                        dir.c_str(), &si, &pi))
        return false;
    out.process.reset(pi.hProcess);
    out.thread.reset(pi.hThread);
    out.id = pi.dwProcessId;
    return true;
}
} // namespace

bool Launch(Process& out, const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingDir) {
    return Start(out, exe, arguments, workingDir, nullptr);
}

bool LaunchWithOutput(Process& out, const std::wstring& exe, const std::wstring& arguments,
                      const std::wstring& outputFile, const std::wstring& workingDir) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    fw::UniqueHandle file(CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    // The child has its own copy of the handle; ours closes here.
    return Start(out, exe, arguments, workingDir, file.get());
}

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (predicate()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

namespace {
struct EnumContext {
    DWORD pid;
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
    auto c = reinterpret_cast<EnumContext*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != c->pid) return TRUE;
    if (c->cls) {
        wchar_t name[256] = {};
        GetClassNameW(hwnd, name, 256);
        if (lstrcmpiW(name, c->cls) != 0) return TRUE;
    }
    c->found.push_back(hwnd);
    return TRUE;
}
} // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className) {
    EnumContext ctx{processId, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[1024] = {};
    // Through the message, so it works across processes for any window.
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::wstring MessageBoxText(HWND dialog) {
    HWND label = GetDlgItem(dialog, 0xFFFF);
    return label ? WindowText(label) : std::wstring();
}

ScopedRegistryValue::ScopedRegistryValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data,
                                         DWORD size)
    : m_key(key), m_name(name) {
    DWORD oldSize = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &m_type, nullptr, &oldSize) ==
        ERROR_SUCCESS) {
        m_old.resize(oldSize);
        m_had = RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &m_type, m_old.data(),
                             &oldSize) == ERROR_SUCCESS;
        m_old.resize(oldSize);
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, key, name, type, data, size);
}

ScopedRegistryValue::ScopedRegistryValue(const wchar_t* key, const wchar_t* name, const std::wstring& text)
    : ScopedRegistryValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) {}

ScopedRegistryValue::ScopedRegistryValue(const wchar_t* key, const wchar_t* name, DWORD number)
    : ScopedRegistryValue(key, name, REG_DWORD, &number, sizeof(number)) {}

ScopedRegistryValue::~ScopedRegistryValue() {
    if (m_had)
        RegSetKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str(), m_type, m_old.data(),
                        static_cast<DWORD>(m_old.size()));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), m_name.c_str());
}

} // namespace testing_support

// Soak of the isolation layer: see hook_soak.h.
#include "hook_soak.h"

#include "interception/interception.h"
#include "isolation/isolation.h"
#include "tests/support/process.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

namespace {

// The functions the layer detours in multi-version mode.
struct Target {
    const wchar_t* module;
    const char* function;
};
constexpr Target kTargets[] = {
    {L"ole32.dll", "CoCreateInstance"},    {L"ole32.dll", "CoCreateInstanceEx"},
    {L"ole32.dll", "CoGetClassObject"},    {L"kernel32.dll", "LoadLibraryA"},
    {L"kernel32.dll", "LoadLibraryW"},     {L"kernel32.dll", "FreeLibrary"},
    {L"advapi32.dll", "RegOpenKeyW"},      {L"advapi32.dll", "RegCloseKey"},
    {L"advapi32.dll", "RegQueryValueExW"}, {L"advapi32.dll", "RegQueryValueW"},
    {L"ntdll.dll", "LdrGetDllHandle"},     {L"ntdll.dll", "LdrGetDllHandleEx"},
    {L"kernel32.dll", "CreateThread"},
};

constexpr std::size_t kSavedBytes = 16;
// The jump an interception writes.
constexpr std::size_t kPatchBytes = 5;

struct SavedEntry {
    const char* function;
    const BYTE* at;
    BYTE bytes[kSavedBytes];
};

// What the workers share with the cycling thread.
struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> calls{0};
    std::atomic<std::uint64_t> bindings{0};
    std::atomic<std::uint64_t> created{0};
    std::atomic<std::uint64_t> wrong{0};
    std::mutex firstWrongLock;
    std::string firstWrong;
    HMODULE user32 = nullptr;
    HMODULE kernel32 = nullptr;
    bool createThreads = true;

    void Expect(bool holds, const char* what) {
        if (holds) return;
        if (wrong.fetch_add(1) == 0) {
            std::lock_guard<std::mutex> guard(firstWrongLock);
            firstWrong = what;
        }
    }
};

DWORD WINAPI Trivial(void*) { return 7; }

// Calls every intercepted function whose answer does not depend on the
// layer (modules, classes and keys no engine redirects), binding and
// unbinding itself between rounds, until told to stop.
DWORD WINAPI Worker(void* parameter) {
    Shared& s = *static_cast<Shared*>(parameter);
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::minstd_rand rng(GetCurrentThreadId());
    const IEVERSION versions[] = {IE55, IE6, IE7, IE8, IEDefault};
    for (unsigned round = 0; !s.stop.load(std::memory_order_relaxed); ++round) {
        const unsigned choice = rng() % 8;
        if (choice < 5) {
            s.Expect(BindThreadToVersion(0, versions[choice]), "BindThreadToVersion failed");
            s.bindings.fetch_add(1, std::memory_order_relaxed);
        } else if (choice < 7) {
            UnbindCurrentThread();
            s.bindings.fetch_add(1, std::memory_order_relaxed);
        }

        s.Expect(LoadLibraryW(L"user32.dll") == s.user32, "LoadLibraryW(user32.dll) gave another module");
        s.Expect(FreeLibrary(s.user32) != FALSE, "FreeLibrary(user32) failed");
        s.Expect(LoadLibraryA("KERNEL32.DLL") == s.kernel32, "LoadLibraryA(KERNEL32.DLL) gave another module");
        s.Expect(FreeLibrary(s.kernel32) != FALSE, "FreeLibrary(kernel32) failed");
        s.Expect(GetModuleHandleW(L"user32.dll") == s.user32, "GetModuleHandleW(user32.dll) gave another module");
        s.Expect(GetModuleHandleW(L"kernel32") == s.kernel32, "GetModuleHandleW(kernel32) gave another module");

        IGlobalInterfaceTable* table = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
        s.Expect(hr == S_OK && table, "CoCreateInstance of the global interface table failed");
        if (table) table->Release();

        HKEY key = nullptr;
        const LSTATUS opened = RegOpenKeyW(HKEY_CURRENT_USER, L"Software", &key);
        s.Expect(opened == ERROR_SUCCESS, "RegOpenKeyW(HKCU\\Software) failed");
        if (opened == ERROR_SUCCESS) s.Expect(RegCloseKey(key) == ERROR_SUCCESS, "RegCloseKey failed");
        std::uint64_t calls = 9;

        if (s.createThreads && round % 8 == 0) {
            HANDLE thread = CreateThread(nullptr, 0, Trivial, nullptr, 0, nullptr);
            s.Expect(thread != nullptr, "CreateThread failed");
            if (thread) {
                DWORD code = 0;
                s.Expect(WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &code) &&
                             code == 7,
                         "a created thread did not run to its end");
                CloseHandle(thread);
                s.created.fetch_add(1, std::memory_order_relaxed);
            }
            ++calls;
        }
        s.calls.fetch_add(calls, std::memory_order_relaxed);
    }
    UnbindCurrentThread();
    if (com) CoUninitialize();
    return 0;
}

// Lets the workers call through the layer for a while: until they have made
// `calls` more calls, or at most 200 ms.
void LetWorkersRun(Shared& s, std::uint64_t calls) {
    const std::uint64_t until = s.calls.load() + calls;
    for (int waited = 0; s.calls.load() < until && waited < 200; ++waited) Sleep(1);
}

std::string Describe(int cycle, const std::string& what) { return "cycle " + std::to_string(cycle) + ": " + what; }

// Removes the layer, trying again a few times: a failed removal leaves it
// installed and counted, so that it can be tried again.
LONG Remove() {
    LONG error = RemoveEngineHooks();
    for (int attempt = 0; error != NO_ERROR && attempt < 3; ++attempt) {
        Sleep(10);
        error = RemoveEngineHooks();
    }
    return error;
}

} // namespace

void SoakHooks(int cycles, int threads, HookSoakFigures& f,
               const std::function<void(const HookSoakFigures&)>& afterCycle, bool createThreads) {
    f = HookSoakFigures();
    f.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    const HRESULT ole = OleInitialize(nullptr);
    SetCurrentDirectoryW(testing_support::StageFolder().c_str());

    std::vector<SavedEntry> saved;
    for (const Target& t : kTargets) {
        HMODULE module = GetModuleHandleW(t.module);
        auto at = module ? reinterpret_cast<const BYTE*>(GetProcAddress(module, t.function)) : nullptr;
        if (!at) continue;  // the layer leaves out what the system lacks
        SavedEntry e{t.function, at, {}};
        std::memcpy(e.bytes, at, kSavedBytes);
        saved.push_back(e);
    }

    Shared s;
    s.createThreads = createThreads;
    s.user32 = LoadLibraryW(L"user32.dll");
    s.kernel32 = GetModuleHandleW(L"kernel32.dll");
    std::vector<HANDLE> workers;
    for (int i = 0; i < threads; ++i) {
        if (HANDLE h = CreateThread(nullptr, 0, Worker, &s, 0, nullptr)) workers.push_back(h);
    }
    if (static_cast<int>(workers.size()) != threads) {
        ++f.failed;
        f.firstFailure = "not every worker thread could be started";
    }

    bool usable = true;  // false once a removal failed for good
    for (int cycle = 0; cycle < cycles && usable; ++cycle) {
        ++f.cycles;
        const std::uint64_t wrongBefore = s.wrong.load();
        std::string problem;

        const LONG installed = InstallEngineHooks(IE6, false, false);
        if (installed != NO_ERROR) {
            problem = "InstallEngineHooks returned " + std::to_string(installed);
        } else {
            if (!AreEngineHooksAttached()) problem = "installed but not attached";
            for (const SavedEntry& e : saved) {
                if (problem.empty() && std::memcmp(e.at, e.bytes, kPatchBytes) == 0)
                    problem = std::string(e.function) + " is not patched while installed";
            }
            LetWorkersRun(s, 50);
            const LONG removed = Remove();
            if (removed != NO_ERROR) {
                if (problem.empty()) problem = "RemoveEngineHooks returned " + std::to_string(removed);
                usable = false;
            } else {
                if (problem.empty() && AreEngineHooksAttached()) problem = "removed but still attached";
                for (const SavedEntry& e : saved) {
                    if (problem.empty() && std::memcmp(e.at, e.bytes, kSavedBytes) != 0)
                        problem = std::string(e.function) + ": first bytes differ after removal";
                }
            }
        }
        if (problem.empty() && s.wrong.load() != wrongBefore) {
            std::lock_guard<std::mutex> guard(s.firstWrongLock);
            problem = "a worker got a wrong answer: " + s.firstWrong;
        }
        if (problem.empty() && cycle + 1 == cycles && interception::GetMemoryStats().slotsInUse != 0)
            problem = "trampolines still in use after the last removal";

        if (problem.empty()) {
            ++f.passed;
        } else {
            ++f.failed;
            if (f.firstFailure.empty()) f.firstFailure = Describe(cycle, problem);
        }
        f.calls = s.calls.load();
        if (afterCycle) afterCycle(f);
    }

    s.stop = true;
    if (!workers.empty()) WaitForMultipleObjects(static_cast<DWORD>(workers.size()), workers.data(), TRUE, INFINITE);
    for (HANDLE h : workers) CloseHandle(h);
    if (s.user32) FreeLibrary(s.user32);
    if (SUCCEEDED(ole)) OleUninitialize();

    f.calls = s.calls.load();
    f.bindings = s.bindings.load();
    f.threadsCreated = s.created.load();
    f.wrongAnswers = s.wrong.load();
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

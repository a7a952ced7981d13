// The far end of a tab's pipe for the hosting tests, in a process of its own.
//   pipe_peer client-echo NAME             opens the client end and writes back every record it reads
//   pipe_peer server-echo NAME READY       creates the server end, sets event READY, echoes likewise
//   pipe_peer client-send-exit NAME        opens the client end, writes two records and ends
//   pipe_peer squat NAME READY QUIT        creates a pipe of that name the way a stranger would
//                                          (any number of instances), sets READY, waits for QUIT
//   pipe_peer -pcode=NAME_ieV_HWND         started as a tab's child process: opens the child
//                                          end and sends a title as a number, which no real
//                                          child does, then waits for the parent to drop it
// Exit codes: 0 done, 2 bad arguments, 3 pipe not opened, 4 time-out.
#include "hosting/named_pipe.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

constexpr DWORD kIdleLimitMs = 30000;

void Signal(const std::wstring& eventName) {
    HANDLE e = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
    if (e) {
        SetEvent(e);
        CloseHandle(e);
    }
}

// Reads and writes back until the pipe breaks. 0 on a broken pipe, 4 when
// nothing happens for too long.
int Echo(CFNKNamedPipe& pipe) {
    for (;;) {
        if (WaitForSingleObject(pipe.WaitEvent(), kIdleLimitMs) != WAIT_OBJECT_0) return 4;
        for (auto m = pipe.Receive(false); m; m = pipe.Receive(true)) {
            if (m->m_nError != 0) {
                if (IsFatalPipeError(m->m_nError)) return 0;
                continue;
            }
            pipe.Send(*m);
        }
    }
}

int ClientEcho(const std::wstring& name) {
    CFNKNamedPipe pipe;
    if (!pipe.OpenClient(name.c_str())) return 3;
    return Echo(pipe);
}

int ServerEcho(const std::wstring& name, const std::wstring& ready) {
    CFNKNamedPipe pipe;
    if (!pipe.CreateServerNamed(name)) return 3;
    Signal(ready);
    if (WaitForSingleObject(pipe.WaitEvent(), kIdleLimitMs) != WAIT_OBJECT_0) return 4;
    if (pipe.PollConnect() != CFNKNamedPipe::ConnectState::Connected) return 3;
    return Echo(pipe);
}

int ClientSendExit(const std::wstring& name) {
    CFNKNamedPipe pipe;
    if (!pipe.OpenClient(name.c_str())) return 3;
    pipe.SendHistoryAdd(L"http://a.b", L"Hello");
    pipe.SendNumbers(UWM_TAB_PROGRESS, 50, 100);
    // Until the server has read both, so they are not lost with the handle.
    FlushFileBuffers(pipe.Handle());
    return 0;
}

int Squat(const std::wstring& name, const std::wstring& ready, const std::wstring& quit) {
    HANDLE quitEvent = OpenEventW(SYNCHRONIZE, FALSE, quit.c_str());
    if (!quitEvent) return 2;
    HANDLE h = CreateNamedPipeW(CNamedPipe::PipePath(name.c_str()).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                CNamedPipe::kBufferSize, CNamedPipe::kBufferSize, CNamedPipe::kDefaultTimeoutMs, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        CloseHandle(quitEvent);
        return 3;
    }
    Signal(ready);
    DWORD r = WaitForSingleObject(quitEvent, kIdleLimitMs);
    CloseHandle(h);
    CloseHandle(quitEvent);
    return r == WAIT_OBJECT_0 ? 0 : 4;
}

// A child that does not keep the protocol: the parent must not trust it.
int BrokenChild(const std::wstring& pcode) {
    const std::wstring value = pcode.substr(pcode.find(L'=') + 1);
    CFNKNamedPipe pipe;
    if (!pipe.OpenClient(value.substr(0, value.find(L'_')).c_str())) return 3;
    pipe.SendNumbers(UWM_TAB_TITLE, 0x12345678, 0);
    return Echo(pipe);
}

} // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc >= 2 && std::wstring(argv[1]).rfind(L"-pcode=", 0) == 0) {
        const int result = BrokenChild(argv[1]);
        LocalFree(argv);
        return result;
    }
    if (!argv || argc < 3) return 2;
    std::wstring mode = argv[1], name = argv[2];
    int result = 2;
    if (mode == L"client-echo") result = ClientEcho(name);
    else if (mode == L"server-echo" && argc >= 4) result = ServerEcho(name, argv[3]);
    else if (mode == L"client-send-exit") result = ClientSendExit(name);
    else if (mode == L"squat" && argc >= 5) result = Squat(name, argv[3], argv[4]);
    LocalFree(argv);
    return result;
}

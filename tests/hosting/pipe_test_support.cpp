#include "pipe_test_support.h"

#include "framework/strings.h"

#include <atomic>

namespace hosting_test {

bool WaitSignalled(HANDLE h, DWORD timeoutMs) { return WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0; }

std::vector<CFNKXProcessMessage> ReceiveRecords(CFNKNamedPipe& end, std::size_t count, DWORD timeoutMs) {
    std::vector<CFNKXProcessMessage> got;
    DWORD start = GetTickCount();
    while (got.size() < count) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs || !WaitSignalled(end.WaitEvent(), timeoutMs - elapsed)) break;
        for (auto m = end.Receive(false); m; m = end.Receive(true)) got.push_back(std::move(*m));
    }
    return got;
}

namespace {
bool Complete(HANDLE pipe, OVERLAPPED& ov, BOOL started, DWORD timeoutMs, DWORD& bytes) {
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA) return false;
    if (WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &ov);
        GetOverlappedResult(pipe, &ov, &bytes, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &ov, &bytes, FALSE) || GetLastError() == ERROR_MORE_DATA;
}
} // namespace

bool RawWrite(HANDLE pipe, const std::vector<std::uint8_t>& bytes) {
    fw::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    BOOL started = WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &ov);
    DWORD written = 0;
    return Complete(pipe, ov, started, 5000, written) && written == bytes.size();
}

std::vector<std::uint8_t> RawRead(HANDLE pipe, DWORD maxBytes, DWORD timeoutMs) {
    fw::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::uint8_t> buffer(maxBytes);
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    BOOL started = ReadFile(pipe, buffer.data(), maxBytes, nullptr, &ov);
    DWORD read = 0;
    if (!Complete(pipe, ov, started, timeoutMs, read)) return {};
    buffer.resize(read);
    return buffer;
}

DWORD AvailableBytes(HANDLE pipe) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return 0;
    return available;
}

bool WaitAvailable(HANDLE pipe, DWORD atLeast, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (AvailableBytes(pipe) >= atLeast) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(5);
    }
}

std::wstring UniqueName(const wchar_t* what) {
    static std::atomic<int> counter{0};
    return fw::Format(L"vantrell-test-%s-%lX-%X-%d", what, GetCurrentProcessId(), GetTickCount(), counter++);
}

NamedEvent::NamedEvent(const wchar_t* what)
    : name(UniqueName(what)), handle(CreateEventW(nullptr, TRUE, FALSE, name.c_str())) {}

} // namespace hosting_test

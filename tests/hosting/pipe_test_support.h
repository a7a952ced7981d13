#pragma once
// Shared pieces of the hosting tests: wire-form vectors written out by hand
// from the record layout, and helpers around real pipe handles.
#include "hosting/named_pipe.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace hosting_test {

// UWM_TAB_PROGRESS (0x2404), numbers 50 and 100: 4 + 4 + 4 + 4 + 4 = 20 bytes.
inline constexpr std::array<std::uint8_t, 20> kGoldenProgress = {
    0x04, 0x24, 0x00, 0x00,  // message number
    0x01, 0x00, 0x00, 0x00,  // wParam kind: number
    0x32, 0x00, 0x00, 0x00,  // 50
    0x01, 0x00, 0x00, 0x00,  // lParam kind: number
    0x64, 0x00, 0x00, 0x00,  // 100
};

// UWM_TAB_HISTORY_ADD (0x2403), URL "http://a.b" (10 units), title "Hello"
// (5 units): 8 + 22 + 4 + 12 = 46 bytes.
inline constexpr std::array<std::uint8_t, 46> kGoldenHistory = {
    0x03, 0x24, 0x00, 0x00,  // message number
    0x02, 0x00, 0x00, 0x00,  // wParam kind: string
    'h', 0, 't', 0, 't', 0, 'p', 0, ':', 0, '/', 0, '/', 0, 'a', 0, '.', 0, 'b', 0, 0, 0,
    0x02, 0x00, 0x00, 0x00,  // lParam kind: string
    'H', 0, 'e', 0, 'l', 0, 'l', 0, 'o', 0, 0, 0,
};

// UWM_TAB_TITLE (0x2401) with an empty title and 0: 8 + 2 + 4 + 4 = 18 bytes.
inline constexpr std::array<std::uint8_t, 18> kGoldenEmptyTitle = {
    0x01, 0x24, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x00, 0x00,              // the empty string: its 0 unit only
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

// UWM_TAB_PROGRESS with -1 and 0x12345678: byte order of every number.
inline constexpr std::array<std::uint8_t, 20> kGoldenByteOrder = {
    0x04, 0x24, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
    0x01, 0x00, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12,
};

// UWM_TAB_NEW_WINDOW (0x2406), URL U+00E9 U+4E2D U+1F600 (a surrogate pair),
// version 7: 8 + 2 * 5 + 4 + 4 = 26 bytes.
inline constexpr std::array<std::uint8_t, 26> kGoldenNewWindow = {
    0x06, 0x24, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0xE9, 0x00, 0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,
};

template <std::size_t N>
std::vector<std::uint8_t> Bytes(const std::array<std::uint8_t, N>& a) {
    return std::vector<std::uint8_t>(a.begin(), a.end());
}

bool WaitSignalled(HANDLE h, DWORD timeoutMs);

// Receives from `end` the way an engine thread does (wait on its event, one
// Receive(false), then Receive(true) until empty) until `count` records have
// come or `timeoutMs` has passed.
std::vector<CFNKXProcessMessage> ReceiveRecords(CFNKNamedPipe& end, std::size_t count, DWORD timeoutMs);

// Raw overlapped I/O on a pipe handle with an event of its own, waited for.
bool RawWrite(HANDLE pipe, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> RawRead(HANDLE pipe, DWORD maxBytes, DWORD timeoutMs);
// Bytes waiting in the pipe for this handle; waits until at least `atLeast`.
DWORD AvailableBytes(HANDLE pipe);
bool WaitAvailable(HANDLE pipe, DWORD atLeast, DWORD timeoutMs);

// A name no other test uses at the same time.
std::wstring UniqueName(const wchar_t* what);

// A named manual-reset event owned by the test.
struct NamedEvent {
    explicit NamedEvent(const wchar_t* what);
    std::wstring name;
    fw::UniqueHandle handle;
};

} // namespace hosting_test

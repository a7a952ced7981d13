// Cost of a tab's pipe between two processes: CFNKNamedPipe against plain
// overlapped WriteFile/ReadFile on the same kind of pipe (message-mode server
// end, byte-mode client end, 2000-byte buffers), with the same 20-byte record.
//   "pipe"                          the measuring side (server end)
//   "pipe-peer NAME R S"            CFNKNamedPipe client: echoes R records, then counts S and answers once
//   "pipe-raw-peer NAME R S"        the same with plain calls
#include "framework/strings.h"
#include "hosting/named_pipe.h"
#include "tests/support/process.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono;

namespace {

constexpr int kRoundTrips = 1000;
constexpr int kStream = 10000;
// Runs of each kind, taken in turn so that both see the same load on the
// machine; the medians are printed.
constexpr int kRuns = 5;
constexpr DWORD kWaitMs = 30000;

std::vector<std::uint8_t> Record(std::uint32_t i, std::uint32_t n) {
    return CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, i, n).Encode();
}

// Next record from a CFNKNamedPipe, waiting on its event as an engine thread does.
std::optional<CFNKXProcessMessage> Next(CFNKNamedPipe& pipe) {
    for (;;) {
        if (auto m = pipe.Receive(true)) return m;
        if (WaitForSingleObject(pipe.WaitEvent(), kWaitMs) != WAIT_OBJECT_0) return std::nullopt;
        if (auto m = pipe.Receive(false)) return m;
    }
}

// Plain overlapped calls, each waited for.
struct RawIo {
    HANDLE pipe;
    fw::UniqueHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    bool Write(const std::uint8_t* data, DWORD size) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        DWORD n = 0;
        if (!WriteFile(pipe, data, size, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return false;
        return GetOverlappedResult(pipe, &ov, &n, TRUE) && n == size;
    }
    DWORD Read(std::uint8_t* data, DWORD size) {
        OVERLAPPED ov{};
        ov.hEvent = event.get();
        DWORD n = 0;
        if (!ReadFile(pipe, data, size, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) return 0;
        if (!GetOverlappedResult(pipe, &ov, &n, TRUE) && GetLastError() != ERROR_MORE_DATA) return 0;
        return n;
    }
    // Byte mode: exactly `size` bytes, however the reads cut them.
    bool ReadExactly(std::uint8_t* data, DWORD size) {
        for (DWORD got = 0; got < size;) {
            DWORD n = Read(data + got, size - got);
            if (n == 0) return false;
            got += n;
        }
        return true;
    }
};

struct Figures {
    double roundTripUs = 0;
    double messagesPerSecond = 0;
    bool ok = false;
};

bool WaitConnected(testing_support::Process& child, HANDLE connectEvent) {
    HANDLE handles[2] = {child.process.get(), connectEvent};
    return WaitForMultipleObjects(2, handles, FALSE, kWaitMs) == WAIT_OBJECT_0 + 1;
}

std::wstring PeerArguments(const wchar_t* mode, const std::wstring& name) {
    return std::wstring(mode) + L" " + name + L" " + std::to_wstring(kRoundTrips) + L" " + std::to_wstring(kStream);
}

Figures MeasureFnk() {
    Figures f;
    CFNKNamedPipe server;
    std::wstring name;
    if (!server.CreateServer(name)) return f;
    testing_support::Process child;
    if (!testing_support::Launch(child, L"vantrell_bench.exe", PeerArguments(L"pipe-peer", name))) return f;
    if (!WaitConnected(child, server.WaitEvent()) ||
        server.PollConnect() != CFNKNamedPipe::ConnectState::Connected)
        return f;

    auto start = steady_clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        server.SendNumbers(UWM_TAB_PROGRESS, i, kRoundTrips);
        auto echo = Next(server);
        if (!echo || echo->m_wParam != static_cast<std::uint32_t>(i)) return f;
    }
    f.roundTripUs = duration<double, std::micro>(steady_clock::now() - start).count() / kRoundTrips;

    start = steady_clock::now();
    for (int i = 0; i < kStream; ++i) server.SendNumbers(UWM_TAB_PROGRESS, i, kStream);
    auto done = Next(server);
    if (!done || done->m_wParam != static_cast<std::uint32_t>(kStream)) return f;
    f.messagesPerSecond = kStream / duration<double>(steady_clock::now() - start).count();

    server.Disconnect();
    server.Close();
    f.ok = child.WaitForExit(kWaitMs);
    return f;
}

Figures MeasureRaw() {
    Figures f;
    std::wstring name = CFNKNamedPipe::MakePipeName(GetCurrentProcessId(), GetTickCount()) + L"R";
    fw::UniqueHandle pipe(CreateNamedPipeW(CNamedPipe::PipePath(name.c_str()).c_str(),
                                           PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                           CNamedPipe::kBufferSize, CNamedPipe::kBufferSize,
                                           CNamedPipe::kDefaultTimeoutMs, nullptr));
    if (!pipe) return f;
    fw::UniqueHandle connectEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = connectEvent.get();
    if (ConnectNamedPipe(pipe.get(), &ov) || GetLastError() == ERROR_PIPE_CONNECTED) SetEvent(connectEvent.get());
    testing_support::Process child;
    if (!testing_support::Launch(child, L"vantrell_bench.exe", PeerArguments(L"pipe-raw-peer", name))) return f;
    if (!WaitConnected(child, connectEvent.get())) return f;

    RawIo io{pipe.get()};
    std::uint8_t buffer[5000];
    auto start = steady_clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        auto record = Record(i, kRoundTrips);
        if (!io.Write(record.data(), static_cast<DWORD>(record.size()))) return f;
        if (io.Read(buffer, sizeof buffer) != record.size()) return f;
    }
    f.roundTripUs = duration<double, std::micro>(steady_clock::now() - start).count() / kRoundTrips;

    start = steady_clock::now();
    for (int i = 0; i < kStream; ++i) {
        auto record = Record(i, kStream);
        if (!io.Write(record.data(), static_cast<DWORD>(record.size()))) return f;
    }
    if (io.Read(buffer, sizeof buffer) != 20) return f;
    f.messagesPerSecond = kStream / duration<double>(steady_clock::now() - start).count();

    DisconnectNamedPipe(pipe.get());
    pipe.reset();
    f.ok = child.WaitForExit(kWaitMs);
    return f;
}

int FnkPeer(const std::wstring& name, int roundTrips, int stream) {
    CFNKNamedPipe client;
    if (!client.OpenClient(name.c_str())) return 3;
    for (int i = 0; i < roundTrips; ++i) {
        auto m = Next(client);
        if (!m || m->m_nError) return 4;
        client.Send(*m);
    }
    for (int i = 0; i < stream; ++i) {
        auto m = Next(client);
        if (!m || m->m_nError) return 4;
    }
    client.SendNumbers(UWM_TAB_PROGRESS, stream, stream);
    auto end = Next(client); // the server's disconnect
    return end && IsFatalPipeError(end->m_nError) ? 0 : 5;
}

int RawPeer(const std::wstring& name, int roundTrips, int stream) {
    fw::UniqueHandle pipe(CreateFileW(CNamedPipe::PipePath(name.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                      nullptr));
    if (!pipe) return 3;
    RawIo io{pipe.get()};
    std::uint8_t record[20];
    for (int i = 0; i < roundTrips; ++i)
        if (!io.ReadExactly(record, 20) || !io.Write(record, 20)) return 4;
    for (int i = 0; i < stream; ++i)
        if (!io.ReadExactly(record, 20)) return 4;
    auto done = Record(stream, stream);
    if (!io.Write(done.data(), static_cast<DWORD>(done.size()))) return 4;
    std::uint8_t rest[20];
    return io.Read(rest, sizeof rest) == 0 ? 0 : 5; // the server's disconnect
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

void PipeBenchmark() {
    std::vector<double> fnkTrip, rawTrip, fnkRate, rawRate;
    for (int run = 0; run < kRuns; ++run) {
        Figures raw = MeasureRaw();
        Figures fnk = MeasureFnk();
        if (!fnk.ok || !raw.ok) {
            std::printf("pipe: measurement failed (CFNKNamedPipe %s, plain %s)\n", fnk.ok ? "ok" : "failed",
                        raw.ok ? "ok" : "failed");
            return;
        }
        fnkTrip.push_back(fnk.roundTripUs);
        rawTrip.push_back(raw.roundTripUs);
        fnkRate.push_back(fnk.messagesPerSecond);
        rawRate.push_back(raw.messagesPerSecond);
    }
    double ft = Median(fnkTrip), rt = Median(rawTrip), fr = Median(fnkRate), rr = Median(rawRate);
    std::printf("pipe round trip between processes, 20-byte record (median of %d x %d): CFNKNamedPipe %.1f us, "
                "plain WriteFile/ReadFile %.1f us (ratio %.2f)\n",
                kRuns, kRoundTrips, ft, rt, ft / rt);
    std::printf("pipe one-way stream between processes, 20-byte records (median of %d x %d): CFNKNamedPipe %.0f "
                "msg/s, plain WriteFile/ReadFile %.0f msg/s (ratio %.2f)\n",
                kRuns, kStream, fr, rr, fr / rr);
}

int PipeBenchmarkPeer(int argc, char** argv) {
    if (argc < 5) return 2;
    std::wstring mode = fw::ToWide(argv[1]);
    std::wstring name = fw::ToWide(argv[2]);
    int roundTrips = std::atoi(argv[3]), stream = std::atoi(argv[4]);
    return mode == L"pipe-peer" ? FnkPeer(name, roundTrips, stream) : RawPeer(name, roundTrips, stream);
}

// The pipe between two processes: this test and pipe_peer.exe.
#include "hosting/named_pipe.h"
#include "pipe_test_support.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <thread>

using namespace hosting_test;
using testing_support::Launch;
using testing_support::Process;

namespace {

// Records that do not fit the 5000-byte read buffer, mixed with small ones.
std::vector<CFNKXProcessMessage> EchoScript() {
    std::wstring big(2600, L'a');      // 5202 bytes of string: just over one read
    std::wstring huge;                 // many reads, every kind of code unit
    for (int i = 0; i < 30000; ++i) huge.push_back(static_cast<wchar_t>(1 + (i * 7919) % 0xFFFE));
    return {
        CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 1, 100),
        CFNKXProcessMessage::StringAndNumber(UWM_TAB_NAVIGATE, big, 0),
        CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, huge, big),
        CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"", 0),
        CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 100, 100),
        CFNKXProcessMessage::StringAndNumber(UWM_TAB_STATUS_TEXT, std::wstring(4990, L'\u00E9'), 5),
    };
}

// Writes the script from a thread of its own (the echoing peer reads and
// writes on one thread) and reads the echoes here.
void RoundTrip(CFNKNamedPipe& end) {
    auto script = EchoScript();
    std::jthread writer([&] {
        for (auto m : script) end.Send(m);
        end.FinishWrites(20000); // a thread's I/O ends with the thread
    });
    auto echoed = ReceiveRecords(end, script.size(), 20000);
    writer.join();
    ASSERT_EQ(script.size(), echoed.size());
    for (std::size_t i = 0; i < script.size(); ++i) EXPECT_EQ(script[i], echoed[i]) << "record " << i;
}

TEST(PipeProcesses, OverlongRecordsThroughAChildClient) {
    // This process is the server: it reassembles ERROR_MORE_DATA reads; the
    // child's byte-mode client end reassembles records cut by its reads.
    CFNKNamedPipe server;
    std::wstring name;
    ASSERT_TRUE(server.CreateServer(name));
    Process peer;
    ASSERT_TRUE(Launch(peer, L"pipe_peer.exe", L"client-echo " + name));
    HANDLE handles[2] = {peer.process.get(), server.WaitEvent()};
    ASSERT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, handles, FALSE, 10000));
    ASSERT_EQ(CFNKNamedPipe::ConnectState::Connected, server.PollConnect());
    RoundTrip(server);
    server.Disconnect();
    server.Close();
    DWORD code = 99;
    ASSERT_TRUE(peer.WaitForExit(10000, &code));
    EXPECT_EQ(0u, code); // the peer saw the broken pipe as a fatal status record
}

TEST(PipeProcesses, OverlongRecordsThroughAChildServer) {
    // The roles turned round: this process holds the byte-mode client end.
    NamedEvent ready(L"ready");
    std::wstring name = UniqueName(L"pipe");
    Process peer;
    ASSERT_TRUE(Launch(peer, L"pipe_peer.exe", L"server-echo " + name + L" " + ready.name));
    HANDLE handles[2] = {peer.process.get(), ready.handle.get()};
    ASSERT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, handles, FALSE, 10000));
    CFNKNamedPipe client;
    ASSERT_TRUE(client.OpenClient(name.c_str()));
    RoundTrip(client);
    client.Close();
    DWORD code = 99;
    ASSERT_TRUE(peer.WaitForExit(10000, &code));
    EXPECT_EQ(0u, code);
}

TEST(PipeProcesses, ChildThatEndsLeavesItsRecordsThenStatus109) {
    CFNKNamedPipe server;
    std::wstring name;
    ASSERT_TRUE(server.CreateServer(name));
    Process peer;
    ASSERT_TRUE(Launch(peer, L"pipe_peer.exe", L"client-send-exit " + name));
    ASSERT_TRUE(WaitSignalled(server.WaitEvent(), 10000));
    ASSERT_EQ(CFNKNamedPipe::ConnectState::Connected, server.PollConnect());
    auto got = ReceiveRecords(server, 3, 10000);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello"), got[0]);
    EXPECT_EQ(CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 50, 100), got[1]);
    EXPECT_EQ(CFNKXProcessMessage::Status(ERROR_BROKEN_PIPE), got[2]);
    DWORD code = 99;
    ASSERT_TRUE(peer.WaitForExit(10000, &code));
    EXPECT_EQ(0u, code);
}

TEST(PipeProcesses, PipeCreatedFirstByAnotherProcessIsRefused) {
    NamedEvent ready(L"ready"), quit(L"quit");
    std::wstring name = UniqueName(L"squat");
    Process squatter;
    ASSERT_TRUE(Launch(squatter, L"pipe_peer.exe", L"squat " + name + L" " + ready.name + L" " + quit.name));
    HANDLE handles[2] = {squatter.process.get(), ready.handle.get()};
    ASSERT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, handles, FALSE, 10000));

    CNamedPipe pipe;
    try {
        pipe.Create(name.c_str());
        ADD_FAILURE() << "joined a pipe another process created";
    } catch (const CNamedPipeException& e) {
        EXPECT_TRUE(e.Error() == ERROR_ALREADY_EXISTS || e.Error() == ERROR_ACCESS_DENIED) << e.Error();
    }
    EXPECT_FALSE(pipe.IsOpen());
    CFNKNamedPipe end;
    EXPECT_FALSE(end.CreateServerNamed(name));

    // Without the check the same call would have joined the stranger's pipe.
    HANDLE joined = CreateNamedPipeW(CNamedPipe::PipePath(name.c_str()).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                     CNamedPipe::kBufferSize, CNamedPipe::kBufferSize, CNamedPipe::kDefaultTimeoutMs,
                                     nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, joined);
    if (joined != INVALID_HANDLE_VALUE) CloseHandle(joined);

    SetEvent(quit.handle.get());
    DWORD code = 99;
    ASSERT_TRUE(squatter.WaitForExit(10000, &code));
    EXPECT_EQ(0u, code);
}

} // namespace

// Both ends of a real pipe in this process, driven the way the engine threads
// drive them.
#include "hosting/named_pipe.h"
#include "pipe_test_support.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <mutex>
#include <thread>

using namespace hosting_test;
using ConnectState = CFNKNamedPipe::ConnectState;

namespace {

class PipePair : public ::testing::Test {
protected:
    void Connect() {
        ASSERT_TRUE(server.CreateServer(name));
        ASSERT_TRUE(client.OpenClient(name.c_str()));
        ASSERT_TRUE(WaitSignalled(server.WaitEvent(), 5000));
        ASSERT_EQ(ConnectState::Connected, server.PollConnect());
    }
    CFNKNamedPipe server;
    CFNKNamedPipe client;
    std::wstring name;
};

TEST_F(PipePair, ServerWaitsOnConnectEventUntilTheClientComes) {
    ASSERT_TRUE(server.CreateServer(name));
    EXPECT_TRUE(server.IsServer());
    EXPECT_FALSE(server.IsConnected());
    EXPECT_EQ(server.ConnectEvent(), server.WaitEvent());
    EXPECT_FALSE(WaitSignalled(server.WaitEvent(), 50));
    EXPECT_EQ(ConnectState::Pending, server.PollConnect());

    ASSERT_TRUE(client.OpenClient(name.c_str()));
    EXPECT_TRUE(client.IsConnected());
    ASSERT_TRUE(WaitSignalled(server.WaitEvent(), 5000));
    EXPECT_EQ(ConnectState::Connected, server.PollConnect());
    EXPECT_TRUE(server.IsConnected());
    EXPECT_EQ(server.ReadEvent(), server.WaitEvent());
}

TEST_F(PipePair, ClientFirstReceiveIssuesTheFirstReadAndReturnsNothing) {
    Connect();
    // Created signalled, so the client's loop comes here at once.
    ASSERT_TRUE(WaitSignalled(client.ReadEvent(), 0));
    EXPECT_FALSE(client.Receive(false).has_value());
    // A read is now outstanding: the event waits for data.
    EXPECT_FALSE(WaitSignalled(client.ReadEvent(), 50));
    server.SendNumbers(UWM_TAB_ZOOM, 150, 0);
    auto got = ReceiveRecords(client, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(CFNKXProcessMessage::Numbers(UWM_TAB_ZOOM, 150, 0), got[0]);
}

TEST_F(PipePair, TwoNumbersAre20BytesOnThePipe) {
    Connect();
    server.SendNumbers(UWM_TAB_PROGRESS, 50, 100);
    ASSERT_TRUE(WaitAvailable(client.Handle(), 20, 5000));
    EXPECT_EQ(20u, AvailableBytes(client.Handle()));
    EXPECT_EQ(Bytes(kGoldenProgress), RawRead(client.Handle(), 100, 5000));
}

TEST_F(PipePair, HistoryCaseIs46BytesOnThePipe) {
    Connect();
    client.SendHistoryAdd(L"http://a.b", L"Hello");
    ASSERT_TRUE(WaitAvailable(server.Handle(), 46, 5000));
    EXPECT_EQ(Bytes(kGoldenHistory), RawRead(server.Handle(), 100, 5000));

    client.SendHistoryAdd(L"http://a.b", L"Hello");
    auto got = ReceiveRecords(server, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(L"http://a.b", got[0].m_strWParam);
    EXPECT_EQ(L"Hello", got[0].m_strLParam);
}

TEST_F(PipePair, NumbersCrossAsTheirLow32Bits) {
    Connect();
    server.SendNumbers(UWM_TAB_PROGRESS, static_cast<WPARAM>(-1), static_cast<LPARAM>(0x12345678));
    ASSERT_TRUE(WaitAvailable(client.Handle(), 20, 5000));
    EXPECT_EQ(Bytes(kGoldenByteOrder), RawRead(client.Handle(), 100, 5000));
}

TEST_F(PipePair, EmptyStringCrossesAsEmptyString) {
    Connect();
    client.SendString(UWM_TAB_TITLE, L"", 0);
    ASSERT_TRUE(WaitAvailable(server.Handle(), 18, 5000));
    auto got = ReceiveRecords(server, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(XPM_STRING, got[0].m_nWParamType);
    EXPECT_TRUE(got[0].m_strWParam.empty());
}

TEST_F(PipePair, NullStringWritesNothing) {
    Connect();
    client.SendString(UWM_TAB_TITLE, nullptr, 0);
    client.SendHistoryAdd(nullptr, L"x");
    client.SendNumbers(UWM_TAB_PANEL_STATE, 1, 0);
    ASSERT_TRUE(WaitAvailable(server.Handle(), 20, 5000));
    auto got = ReceiveRecords(server, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(UWM_TAB_PANEL_STATE, got[0].m_nMessage);
    EXPECT_EQ(0u, server.QueuedCount());
}

TEST_F(PipePair, TwoMessagesInOneReadOnTheClientAreBothQueued) {
    Connect();
    server.SendNumbers(UWM_TAB_ZOOM, 200, 0);
    server.SendString(UWM_TAB_NAVIGATE, L"http://example.test/", 0);
    ASSERT_TRUE(WaitAvailable(client.Handle(), 20 + 8 + 42 + 8, 5000));
    auto first = client.Receive(false);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(UWM_TAB_ZOOM, first->m_nMessage);
    EXPECT_EQ(200u, first->m_wParam);
    // The second came with the same read: it is handed out without reading.
    EXPECT_EQ(1u, client.QueuedCount());
    auto second = client.Receive(true);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(UWM_TAB_NAVIGATE, second->m_nMessage);
    EXPECT_EQ(L"http://example.test/", second->m_strWParam);
    EXPECT_FALSE(client.Receive(true).has_value());
}

TEST_F(PipePair, MessageSplitAcrossReadsOnTheClientIsReassembled) {
    Connect();
    auto bytes = Bytes(kGoldenHistory);
    // Cuts inside the header, inside a code unit, between the strings, at the last byte.
    for (std::size_t cut : {1u, 9u, 13u, 30u, 45u}) {
        std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + cut), tail(bytes.begin() + cut, bytes.end());
        ASSERT_TRUE(RawWrite(server.Handle(), head));
        ASSERT_TRUE(WaitSignalled(client.WaitEvent(), 5000));
        EXPECT_FALSE(client.Receive(false).has_value()) << "cut " << cut;
        EXPECT_EQ(0u, AvailableBytes(client.Handle())); // the head was read and is held
        ASSERT_TRUE(RawWrite(server.Handle(), tail));
        auto got = ReceiveRecords(client, 1, 5000);
        ASSERT_EQ(1u, got.size()) << "cut " << cut;
        EXPECT_EQ(CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, L"http://a.b", L"Hello"), got[0]);
    }
}

TEST_F(PipePair, CutShortMessageOnTheServerDoesNotSwallowTheNext) {
    Connect();
    // One pipe message holding half a record, then a whole one.
    ASSERT_TRUE(RawWrite(client.Handle(), std::vector<std::uint8_t>(kGoldenHistory.begin(), kGoldenHistory.begin() + 20)));
    ASSERT_TRUE(RawWrite(client.Handle(), Bytes(kGoldenProgress)));
    auto got = ReceiveRecords(server, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(CFNKXProcessMessage::Numbers(UWM_TAB_PROGRESS, 50, 100), got[0]);
}

TEST_F(PipePair, OverlongMessagesArriveUnchangedInBothDirections) {
    Connect();
    auto down = CFNKXProcessMessage::Strings(UWM_TAB_NAVIGATE, std::wstring(7000, L'd'), std::wstring(3, L'e'));
    auto up = CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, std::wstring(12345, L'\u4E2D'), 9);
    ASSERT_GT(down.WireSize(), CFNKNamedPipe::kReadBufferSize);
    ASSERT_GT(up.WireSize(), 2 * CFNKNamedPipe::kReadBufferSize);
    // Writers on threads of their own, as in the child: neither write waits for this thread's reads.
    // Each waits for its write before it ends: the system cancels the I/O
    // of a thread that ends.
    std::jthread serverWriter([&] {
        auto copy = down;
        server.Send(copy);
        server.FinishWrites(10000);
    });
    std::jthread clientWriter([&] {
        auto copy = up;
        client.Send(copy);
        client.FinishWrites(10000);
    });
    auto atClient = ReceiveRecords(client, 1, 10000);
    auto atServer = ReceiveRecords(server, 1, 10000);
    serverWriter.join();
    clientWriter.join();
    ASSERT_EQ(1u, atClient.size());
    ASSERT_EQ(1u, atServer.size());
    EXPECT_EQ(down, atClient[0]);
    EXPECT_EQ(up, atServer[0]);
}

TEST_F(PipePair, WriterThreadBuffersStayAliveUntilWritten) {
    Connect();
    constexpr int kCount = 40;
    auto make = [](int i) {
        std::wstring text(3000 + i, static_cast<wchar_t>(L'A' + i % 26));
        text[0] = static_cast<wchar_t>(0x100 + i);
        return CFNKXProcessMessage::StringAndNumber(UWM_TAB_STATUS_TEXT, text, static_cast<std::uint32_t>(i));
    };
    std::jthread writer([&] {
        for (int i = 0; i < kCount; ++i) {
            auto m = make(i);
            client.Send(m); // returns before its write completes
        }
        client.FinishWrites(10000);
    });
    std::vector<CFNKXProcessMessage> got;
    DWORD start = GetTickCount();
    while (got.size() < static_cast<std::size_t>(kCount) && GetTickCount() - start < 20000) {
        Sleep(2); // a slow reader, so that writes stay in flight
        auto more = ReceiveRecords(server, 1, 2000);
        got.insert(got.end(), more.begin(), more.end());
    }
    writer.join();
    ASSERT_EQ(static_cast<std::size_t>(kCount), got.size());
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(make(i), got[i]) << "message " << i;
}

TEST_F(PipePair, ClosedClientGivesStatusRecord109) {
    Connect();
    EXPECT_FALSE(server.Receive(false).has_value()); // the first read is outstanding
    client.Close();
    auto got = ReceiveRecords(server, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(CFNKXProcessMessage::Status(ERROR_BROKEN_PIPE), got[0]);
    EXPECT_EQ(0u, got[0].m_nMessage);
    EXPECT_TRUE(IsFatalPipeError(got[0].m_nError));
}

TEST_F(PipePair, ClosedServerEndsTheClientsReading) {
    Connect();
    EXPECT_FALSE(client.Receive(false).has_value());
    server.Close();
    auto got = ReceiveRecords(client, 1, 5000);
    ASSERT_EQ(1u, got.size());
    EXPECT_TRUE(IsFatalPipeError(got[0].m_nError)) << got[0].m_nError;
    EXPECT_EQ(0u, got[0].m_nMessage);
}

TEST_F(PipePair, WriteToAClosedPeerRecordsTheError) {
    Connect();
    client.Close();
    auto m = CFNKXProcessMessage::Numbers(UWM_TAB_ZOOM, 100, 0);
    server.Send(m);
    EXPECT_TRUE(m.m_nError == ERROR_BROKEN_PIPE || m.m_nError == ERROR_NO_DATA ||
                m.m_nError == ERROR_PIPE_NOT_CONNECTED)
        << m.m_nError;
}

TEST_F(PipePair, SendOnAnEndThatIsNotConnectedWritesNothing) {
    ASSERT_TRUE(server.CreateServer(name));
    auto early = CFNKXProcessMessage::Numbers(UWM_TAB_ZOOM, 100, 0);
    server.Send(early);
    server.SendString(UWM_TAB_NAVIGATE, L"http://lost/", 0);
    EXPECT_EQ(0u, early.m_nError);

    ASSERT_TRUE(client.OpenClient(name.c_str()));
    ASSERT_TRUE(WaitSignalled(server.WaitEvent(), 5000));
    ASSERT_EQ(ConnectState::Connected, server.PollConnect());
    // The engine thread marked the client end lost: its writes are dropped too.
    client.SetConnected(false);
    client.SendNumbers(UWM_TAB_PROGRESS, 1, 2);
    // Marked connected again, it writes a record that is the first the
    // server gets: the dropped one never went out.
    client.SetConnected(true);
    client.SendNumbers(UWM_TAB_PROGRESS, 50, 100);
    ASSERT_TRUE(WaitAvailable(server.Handle(), 20, 5000));
    EXPECT_EQ(Bytes(kGoldenProgress), RawRead(server.Handle(), 100, 5000));

    // The pipe itself works: a message written now is the first to arrive.
    server.SendNumbers(UWM_TAB_PROGRESS, 50, 100);
    ASSERT_TRUE(WaitAvailable(client.Handle(), 20, 5000));
    EXPECT_EQ(Bytes(kGoldenProgress), RawRead(client.Handle(), 100, 5000));

    // An end that was never opened.
    CFNKNamedPipe never;
    auto m = CFNKXProcessMessage::Numbers(UWM_TAB_ZOOM, 1, 0);
    never.Send(m);
    EXPECT_EQ(0u, m.m_nError);
    EXPECT_FALSE(never.Receive(false).has_value());
}

TEST_F(PipePair, ReceiveWithoutTheEventIssuesNoSecondRead) {
    Connect();
    EXPECT_FALSE(client.Receive(false).has_value());
    EXPECT_FALSE(client.Receive(false).has_value()); // the read is still outstanding
    // Two reads on one OVERLAPPED and buffer would lose or mix these.
    server.SendString(UWM_TAB_TITLE, L"first", 1);
    ASSERT_TRUE(WaitSignalled(client.ReadEvent(), 5000));
    server.SendString(UWM_TAB_STATUS_TEXT, L"second", 2);
    server.SendNumbers(UWM_TAB_ZOOM, 300, 3);
    ASSERT_TRUE(WaitAvailable(client.Handle(), 20 + 8 + 14 + 8, 5000));
    auto got = ReceiveRecords(client, 3, 5000);
    ASSERT_EQ(3u, got.size());
    EXPECT_EQ(CFNKXProcessMessage::StringAndNumber(UWM_TAB_TITLE, L"first", 1), got[0]);
    EXPECT_EQ(CFNKXProcessMessage::StringAndNumber(UWM_TAB_STATUS_TEXT, L"second", 2), got[1]);
    EXPECT_EQ(CFNKXProcessMessage::Numbers(UWM_TAB_ZOOM, 300, 3), got[2]);
}

TEST(PipeLifetime, DestroyedWithIoOutstandingEndsAtOnce) {
    auto* s = new CFNKNamedPipe;
    std::wstring n;
    ASSERT_TRUE(s->CreateServer(n));
    auto* c = new CFNKNamedPipe;
    ASSERT_TRUE(c->OpenClient(n.c_str()));
    ASSERT_TRUE(WaitSignalled(s->WaitEvent(), 5000));
    ASSERT_EQ(ConnectState::Connected, s->PollConnect());
    EXPECT_FALSE(c->Receive(false).has_value()); // read outstanding
    auto big = CFNKXProcessMessage::StringAndNumber(UWM_TAB_NAVIGATE, std::wstring(20000, L'z'), 0);
    s->Send(big); // larger than the pipe's buffer: stays in flight
    DWORD start = GetTickCount();
    delete s;
    delete c;
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(PipeParameters, ServerIsOneMessageInstanceClientReadsBytes) {
    CFNKNamedPipe server, client;
    std::wstring name;
    ASSERT_TRUE(server.CreateServer(name));
    ASSERT_TRUE(client.OpenClient(name.c_str()));
    DWORD flags = 0, outSize = 0, inSize = 0, instances = 0;
    ASSERT_TRUE(GetNamedPipeInfo(server.Handle(), &flags, &outSize, &inSize, &instances));
    EXPECT_EQ(static_cast<DWORD>(PIPE_SERVER_END | PIPE_TYPE_MESSAGE), flags);
    EXPECT_EQ(1u, instances);
    DWORD state = 0;
    ASSERT_TRUE(GetNamedPipeHandleState(server.Handle(), &state, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_TRUE(state & PIPE_READMODE_MESSAGE);
    ASSERT_TRUE(GetNamedPipeHandleState(client.Handle(), &state, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_FALSE(state & PIPE_READMODE_MESSAGE);
    // A second server of the same name is refused.
    CFNKNamedPipe second;
    EXPECT_FALSE(second.CreateServerNamed(name));
}

TEST(PipeNames, HexadecimalWithoutLeadingZeros) {
    EXPECT_EQ(L"ABC1F", CFNKNamedPipe::MakePipeName(0xABC, 0x1F));
    EXPECT_EQ(L"00", CFNKNamedPipe::MakePipeName(0, 0));
    EXPECT_EQ(L"FFFFFFFFFFFFFFFF1", CFNKNamedPipe::MakePipeName(~std::uint64_t(0), 1));
}

TEST(PipeNames, UniqueWithinOneMillisecond) {
    bool sameTick = false;
    for (int attempt = 0; attempt < 200 && !sameTick; ++attempt) {
        CFNKNamedPipe a, b;
        std::wstring nameA, nameB;
        DWORD before = GetTickCount();
        bool createdA = a.CreateServer(nameA);
        bool createdB = b.CreateServer(nameB);
        DWORD after = GetTickCount();
        ASSERT_TRUE(createdA && createdB);
        EXPECT_NE(nameA, nameB);
        for (const auto& n : {nameA, nameB})
            for (wchar_t ch : n) ASSERT_TRUE(std::iswxdigit(ch) && !std::iswlower(ch));
        sameTick = before == after;
        if (sameTick) {
            std::wstring tick = CFNKNamedPipe::MakePipeName(0, before).substr(1);
            EXPECT_TRUE(nameA.ends_with(tick) && nameB.ends_with(tick));
        }
    }
    EXPECT_TRUE(sameTick) << "never created two pipes within one tick";
}

TEST(NamedPipeException, SystemTextOfTheError) {
    CNamedPipeException e(ERROR_BROKEN_PIPE);
    EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), e.Error());
    wchar_t text[512];
    UINT help = 77;
    ASSERT_TRUE(e.GetErrorMessage(text, 512, &help));
    EXPECT_EQ(0u, help);
    std::wstring full = text;
    EXPECT_GT(full.size(), 4u);

    wchar_t shortText[5] = {L'#', L'#', L'#', L'#', L'#'};
    ASSERT_TRUE(e.GetErrorMessage(shortText, 5, nullptr));
    EXPECT_EQ(full.substr(0, 4), std::wstring(shortText));

    CNamedPipeException unknown(0x2000ABCD);
    text[0] = L'x';
    EXPECT_FALSE(unknown.GetErrorMessage(text, 512, &help));
    EXPECT_EQ(L'\0', text[0]);
}

TEST(NamedPipeException, ThrownForAMissingPipe) {
    CNamedPipe pipe;
    try {
        pipe.Open(UniqueName(L"missing").c_str());
        FAIL() << "opened a pipe that does not exist";
    } catch (const CNamedPipeException& e) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), e.Error());
    }
    CFNKNamedPipe end;
    EXPECT_FALSE(end.OpenClient(UniqueName(L"missing").c_str()));
    EXPECT_FALSE(end.IsConnected());
}

// The engine thread's relay, as the header describes it: one wait on the other
// process and the pipe's event plus the thread's queue.
TEST(EngineStyleLoop, RelaysToAWindowAndWritesOnConnect) {
    CFNKNamedPipe client;
    std::wstring name;
    std::mutex lock;
    std::vector<std::pair<UINT, std::wstring>> delivered;
    fw::UniqueHandle otherProcess(CreateEventW(nullptr, TRUE, FALSE, nullptr)); // stands in for the child
    fw::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool endedByPipe = false;

    std::jthread engine([&] {
        struct Window {
            static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
                auto* out = reinterpret_cast<std::vector<std::pair<UINT, std::wstring>>*>(GetWindowLongPtrW(h, GWLP_USERDATA));
                if (out && m == UWM_TAB_TITLE) out->emplace_back(m, *TakeStringParam(w));
                else if (out && m == UWM_TAB_PROGRESS) out->emplace_back(m, std::to_wstring(w) + L"/" + std::to_wstring(l));
                else if (out && m == WM_NULL) out->emplace_back(m, L"");
                return DefWindowProcW(h, m, w, l);
            }
        };
        WNDCLASSW wc{};
        wc.lpfnWndProc = Window::Proc;
        wc.lpszClassName = L"VantrellTestRelayTarget";
        RegisterClassW(&wc);
        HWND view = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        std::vector<std::pair<UINT, std::wstring>> local;
        SetWindowLongPtrW(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&local));

        CFNKNamedPipe pipe;
        pipe.CreateServer(name);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the queue exists before anyone posts
        SetEvent(ready.get());
        bool running = true;
        while (running) {
            HANDLE handles[2] = {otherProcess.get(), pipe.WaitEvent()};
            DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, 10000, QS_ALLEVENTS);
            if (r == WAIT_OBJECT_0 || r == WAIT_TIMEOUT) break;
            if (r == WAIT_OBJECT_0 + 1) {
                if (!pipe.IsConnected()) {
                    if (pipe.PollConnect() == ConnectState::Connected) {
                        pipe.SendNumbers(WM_SIZE, 0, (300 << 16) | 400);
                        pipe.SendString(UWM_TAB_NAVIGATE, L"http://start/", 0);
                    }
                    continue;
                }
                for (auto m = pipe.Receive(false); m; m = pipe.Receive(true)) {
                    if (IsFatalPipeError(m->m_nError)) {
                        pipe.SetConnected(false);
                        endedByPipe = true;
                        running = false;
                        break;
                    }
                    m->PostTo(view);
                }
            }
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) running = false;
                DispatchMessageW(&msg);
            }
        }
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        DestroyWindow(view);
        UnregisterClassW(wc.lpszClassName, nullptr);
        std::lock_guard<std::mutex> g(lock);
        delivered = local;
    });
    ASSERT_TRUE(WaitSignalled(ready.get(), 5000));
    ASSERT_TRUE(client.OpenClient(name.c_str()));

    // What the proxy writes when the child connects.
    auto first = ReceiveRecords(client, 2, 5000);
    ASSERT_EQ(2u, first.size());
    EXPECT_EQ(CFNKXProcessMessage::Numbers(WM_SIZE, 0, (300 << 16) | 400), first[0]);
    EXPECT_EQ(CFNKXProcessMessage::StringAndNumber(UWM_TAB_NAVIGATE, L"http://start/", 0), first[1]);

    for (int i = 0; i < 50; ++i) {
        client.SendString(UWM_TAB_TITLE, (L"title " + std::to_wstring(i)).c_str(), 0);
        client.SendNumbers(UWM_TAB_PROGRESS, i, 50);
    }
    FlushFileBuffers(client.Handle()); // until the loop has read everything
    client.Close();                    // the child goes: the loop ends by the broken pipe
    engine.join();
    EXPECT_TRUE(endedByPipe);
    std::lock_guard<std::mutex> g(lock);
    ASSERT_EQ(200u, delivered.size());
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(std::make_pair(UWM_TAB_TITLE, L"title " + std::to_wstring(i)), delivered[4 * i]);
        EXPECT_EQ(static_cast<UINT>(WM_NULL), delivered[4 * i + 1].first);
        EXPECT_EQ(std::make_pair(UWM_TAB_PROGRESS, std::to_wstring(i) + L"/50"), delivered[4 * i + 2]);
        EXPECT_EQ(static_cast<UINT>(WM_NULL), delivered[4 * i + 3].first);
    }
}

} // namespace

#include "hosting/named_pipe.h"

#include <algorithm>
#include <cstdint>

namespace {

// Reads completed at once that one Receive collects before it returns. A
// peer writing without pause could otherwise keep the owning thread in
// Receive forever, away from its message queue.
constexpr int kMaxReadsPerReceive = 32;

bool IsReadStatusError(DWORD error) {
    return error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

bool IsRecordedWriteError(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

void AppendHex(std::wstring& out, std::uint64_t v) {
    wchar_t digits[16];
    int n = 0;
    do {
        digits[n++] = L"0123456789ABCDEF"[v & 0xF];
        v >>= 4;
    } while (v);
    while (n) out.push_back(digits[--n]);
}

} // namespace

// ---------------------------------------------------------------------------

BOOL CNamedPipeException::GetErrorMessage(LPWSTR text, UINT maxChars, PUINT helpContext) const {
    if (helpContext) *helpContext = 0;
    LPWSTR system = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        m_dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), reinterpret_cast<LPWSTR>(&system), 0, nullptr);
    if (length == 0 || !system) {
        if (system) LocalFree(system);
        if (text && maxChars) text[0] = L'\0';
        return FALSE;
    }
    if (text && maxChars) {
        DWORD copied = std::min<DWORD>(length, maxChars - 1);
        std::copy(system, system + copied, text);
        text[copied] = L'\0';
    }
    LocalFree(system);
    return TRUE;
}

// ---------------------------------------------------------------------------

std::wstring CNamedPipe::PipePath(const wchar_t* name) { return std::wstring(L"\\\\.\\PIPE\\") + name; }

void CNamedPipe::ThrowNamedPipeException() { throw CNamedPipeException(GetLastError()); }

void CNamedPipe::ThrowNamedPipeException(DWORD error) { throw CNamedPipeException(error); }

void CNamedPipe::Create(const wchar_t* name) {
    std::wstring path = PipePath(name);
    // A pipe of this name that another process created first must not be
    // joined: that process would be talking to our child. Windows refuses it
    // through FILE_FLAG_FIRST_PIPE_INSTANCE. Wine ignores the flag; some of its
    // versions report ERROR_ALREADY_EXISTS instead, the one here reports
    // nothing at all, so the instance counts are checked as well: the first
    // creator fixes the maximum, and ours is 1. Clients on other machines are
    // refused too.
    SetLastError(ERROR_SUCCESS);
    fw::UniqueHandle pipe(CreateNamedPipeW(
        path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kBufferSize, kBufferSize,
        kDefaultTimeoutMs, nullptr));
    if (!pipe) ThrowNamedPipeException();
    if (GetLastError() == ERROR_ALREADY_EXISTS) ThrowNamedPipeException(ERROR_ALREADY_EXISTS);
    DWORD maxInstances = 0, instances = 0;
    if (!GetNamedPipeInfo(pipe.get(), nullptr, nullptr, nullptr, &maxInstances) ||
        !GetNamedPipeHandleStateW(pipe.get(), nullptr, &instances, nullptr, nullptr, nullptr, 0))
        ThrowNamedPipeException();
    if (maxInstances != 1 || instances != 1) ThrowNamedPipeException(ERROR_ACCESS_DENIED);
    m_hPipe = std::move(pipe);
}

void CNamedPipe::Open(const wchar_t* name) {
    std::wstring path = PipePath(name);
    // Identification only: a server that is not ours cannot act as this process.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) ThrowNamedPipeException();
    m_hPipe.reset(h);
}

void CNamedPipe::Close() { m_hPipe.reset(); }

// ---------------------------------------------------------------------------

CFNKNamedPipe::~CFNKNamedPipe() {
    // Outstanding I/O still points into this object: end it before anything
    // goes, and close the pipe before the events its completions would signal.
    Close();
}

std::wstring CFNKNamedPipe::MakePipeName(std::uint64_t unique, DWORD tick) {
    std::wstring name;
    AppendHex(name, unique);
    AppendHex(name, tick);
    return name;
}

bool CFNKNamedPipe::CreateEvents(bool withConnect) {
    auto make = [](fw::UniqueHandle& event) {
        if (!event) event.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        else SetEvent(event.get());
        return event.valid();
    };
    bool ok = true;
    if (withConnect) ok = make(m_hConnectEvent);
    return make(m_hReadEvent) && make(m_hWriteEvent) && ok;
}

bool CFNKNamedPipe::CreateServer(std::wstring& name) {
    // The object's address tells apart pipes created within one millisecond.
    name = MakePipeName(reinterpret_cast<std::uintptr_t>(this), GetTickCount());
    return CreateServerNamed(name);
}

bool CFNKNamedPipe::CreateServerNamed(const std::wstring& name) {
    Close();
    m_queue.clear();
    m_bServer = true;
    if (!CreateEvents(true)) return false;
    try {
        Create(name.c_str());
        m_ovConnect = OVERLAPPED{};
        m_ovConnect.hEvent = m_hConnectEvent.get();
        if (ConnectNamedPipe(m_hPipe.get(), &m_ovConnect)) {
            SetEvent(m_hConnectEvent.get());
            return true;
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_connectPending = true;
            return true;
        }
        if (error == ERROR_PIPE_CONNECTED) {
            // The client came before the connect call. No completion will
            // signal the event, so signal it here, or the owner would wait
            // for a connect that already happened.
            SetEvent(m_hConnectEvent.get());
            return true;
        }
        ThrowNamedPipeException(error);
    } catch (const CNamedPipeException& e) {
        CNamedPipe::Close();
        SetLastError(e.Error());  // for the caller's report
        return false;
    }
}

bool CFNKNamedPipe::OpenClient(const wchar_t* name) {
    Close();
    m_queue.clear();
    m_bServer = false;
    if (!CreateEvents(false)) return false;
    try {
        Open(name);
    } catch (const CNamedPipeException&) {
        return false;
    }
    SetConnected(true);
    return true;
}

void CFNKNamedPipe::SetConnected(bool connected) {
    m_bConnected = connected;
    // The first Receive(false) of a new connection issues its first read; the
    // signalled read event brings the owner there.
    if (connected && m_hReadEvent) SetEvent(m_hReadEvent.get());
}

CFNKNamedPipe::ConnectState CFNKNamedPipe::PollConnect() {
    if (!m_bServer || !m_hPipe) return ConnectState::Failed;
    if (m_bConnected) return ConnectState::Connected;
    if (m_connectPending) {
        DWORD bytes = 0;
        if (!GetOverlappedResult(m_hPipe.get(), &m_ovConnect, &bytes, FALSE)) {
            DWORD error = GetLastError();
            if (error == ERROR_IO_INCOMPLETE) return ConnectState::Pending;
            m_connectPending = false;
            // ERROR_NO_DATA: a client came and already went; as connected, the
            // first read reports the broken pipe.
            if (error != ERROR_PIPE_CONNECTED && error != ERROR_NO_DATA) {
                ResetEvent(m_hConnectEvent.get());
                return ConnectState::Failed;
            }
        }
        m_connectPending = false;
    }
    SetConnected(true);
    return ConnectState::Connected;
}

void CFNKNamedPipe::Reap(OVERLAPPED& ov, bool& pending) {
    if (!pending) return;
    DWORD bytes = 0;
    GetOverlappedResult(m_hPipe.get(), &ov, &bytes, TRUE);
    pending = false;
}

void CFNKNamedPipe::Disconnect() {
    if (m_hPipe) {
        // Our own connect and read end first, so nothing completes into a
        // state that no longer holds.
        if (m_connectPending) CancelIoEx(m_hPipe.get(), &m_ovConnect);
        if (m_readPending) CancelIoEx(m_hPipe.get(), &m_ovRead);
        Reap(m_ovConnect, m_connectPending);
        Reap(m_ovRead, m_readPending);
        try {
            if (!DisconnectNamedPipe(m_hPipe.get())) ThrowNamedPipeException();
        } catch (const CNamedPipeException&) {
            // Failures are ignored.
        }
    }
    m_bConnected = false;
    m_decoder.Reset();
}

void CFNKNamedPipe::Close() {
    // The system may still write into the OVERLAPPED structures and buffers
    // of operations in progress, so cancel them all (a writer thread's too)
    // and wait until each has completed before the handle goes.
    if (m_hPipe) CancelIoEx(m_hPipe.get(), nullptr);
    std::lock_guard<std::mutex> lock(m_writeLock);
    m_bConnected = false;
    if (m_hPipe) {
        Reap(m_ovConnect, m_connectPending);
        Reap(m_ovRead, m_readPending);
        Reap(m_ovWrite, m_writePending);
    }
    m_connectPending = m_readPending = m_writePending = false;
    m_writeBuffer.clear();
    m_decoder.Reset();
    CNamedPipe::Close();
}

// ---------------------------------------------------------------------------
// Reading.

std::optional<CFNKXProcessMessage> CFNKNamedPipe::Receive(bool queuedOnly) {
    if (m_queue.empty() && !queuedOnly) {
        if (!m_bConnected) {
            // Nothing can arrive here: keep the read event from waking the
            // owner's wait again and again for nothing.
            if (m_hReadEvent && !m_readPending) ResetEvent(m_hReadEvent.get());
        } else {
            try {
                ReadAvailable();
            } catch (const CNamedPipeException& e) {
                if (IsReadStatusError(e.Error())) m_queue.push_back(CFNKXProcessMessage::Status(e.Error()));
            }
        }
    }
    if (m_queue.empty()) return std::nullopt;
    std::optional<CFNKXProcessMessage> first(std::move(m_queue.front()));
    m_queue.pop_front();
    return first;
}

void CFNKNamedPipe::ReadAvailable() {
    if (!m_hPipe) ThrowNamedPipeException(ERROR_INVALID_HANDLE);
    HANDLE h = m_hPipe.get();
    if (m_readPending) {
        DWORD bytes = 0;
        BOOL ok = GetOverlappedResult(h, &m_ovRead, &bytes, FALSE);
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        // Still outstanding (the owner came without the event): a second read
        // on the same OVERLAPPED and buffer must not be issued.
        if (error == ERROR_IO_INCOMPLETE) return;
        m_readPending = false;
        // A failed read is reported by the next one, which fails the same way.
        if (bytes > 0) Consume(bytes, error != ERROR_MORE_DATA);
    }
    for (int round = 0; round < kMaxReadsPerReceive; ++round) {
        m_ovRead = OVERLAPPED{};
        m_ovRead.hEvent = m_hReadEvent.get();
        BOOL ok = ReadFile(h, m_readBuffer.data(), kReadBufferSize, nullptr, &m_ovRead);
        DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (ok || error == ERROR_MORE_DATA) {
            // Completed at once, whole or (message mode) with more of the same
            // message to come in the next read.
            DWORD bytes = 0;
            BOOL whole = GetOverlappedResult(h, &m_ovRead, &bytes, FALSE);
            Consume(bytes, whole != FALSE);
            continue;
        }
        if (error == ERROR_IO_PENDING) {
            m_readPending = true;
            return;
        }
        ThrowNamedPipeException(error);
    }
    // More may be waiting: let the owner deliver what is queued first; the
    // signalled event brings it straight back.
    SetEvent(m_hReadEvent.get());
}

void CFNKNamedPipe::Consume(DWORD bytes, bool messageEnded) {
    std::vector<CFNKXProcessMessage> decoded;
    // The decoder keeps a partial record for the next read instead of reading
    // past the bytes it has.
    m_decoder.Feed(m_readBuffer.data(), std::min<DWORD>(bytes, kReadBufferSize), decoded);
    for (auto& m : decoded) m_queue.push_back(std::move(m));
    // The server end reads one pipe message, that is one write of the peer,
    // at a time: a record still open when the message ends is malformed, and
    // its remains must not swallow the next message.
    if (m_bServer && messageEnded && !m_decoder.AtRecordBoundary()) m_decoder.Reset();
}

// ---------------------------------------------------------------------------
// Writing.

void CFNKNamedPipe::FinishWrite(DWORD timeoutMs) {
    if (!m_writePending) return;
    // The previous write still owns m_ovWrite and m_writeBuffer. A peer that
    // reads nothing for this long loses that message rather than blocking
    // this end for good.
    if (WaitForSingleObject(m_hWriteEvent.get(), timeoutMs) != WAIT_OBJECT_0)
        CancelIoEx(m_hPipe.get(), &m_ovWrite);
    Reap(m_ovWrite, m_writePending);
    m_writeBuffer.clear();
}

bool CFNKNamedPipe::FinishWrites(DWORD timeoutMs) {
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (!m_writePending) return true;
    if (WaitForSingleObject(m_hWriteEvent.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    Reap(m_ovWrite, m_writePending);
    m_writeBuffer.clear();
    return true;
}

void CFNKNamedPipe::Send(CFNKXProcessMessage& message) {
    if (!m_bConnected) return;
    std::lock_guard<std::mutex> lock(m_writeLock);
    if (!m_bConnected || !m_hPipe) return;
    // The reader skips a string this long; it is not worth sending.
    if (message.TooLong()) return;
    try {
        FinishWrite(kDefaultTimeoutMs);
        // The buffer stays with this object until the write has completed:
        // the write is not waited for here.
        m_writeBuffer = message.Encode();
        m_ovWrite = OVERLAPPED{};
        m_ovWrite.hEvent = m_hWriteEvent.get();
        if (WriteFile(m_hPipe.get(), m_writeBuffer.data(), static_cast<DWORD>(m_writeBuffer.size()), nullptr,
                      &m_ovWrite)) {
            m_writeBuffer.clear();
            return;
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            m_writePending = true;
            return;
        }
        m_writeBuffer.clear();
        ThrowNamedPipeException(error);
    } catch (const CNamedPipeException& e) {
        if (IsRecordedWriteError(e.Error())) message.m_nError = e.Error();
    }
}

void CFNKNamedPipe::SendNumbers(UINT message, WPARAM wParam, LPARAM lParam) {
    // Numbers cross the pipe as their low 32 bits.
    auto record = CFNKXProcessMessage::Numbers(message, static_cast<std::uint32_t>(wParam),
                                               static_cast<std::uint32_t>(lParam));
    Send(record);
}

void CFNKNamedPipe::SendString(UINT message, const wchar_t* text, LPARAM lParam) {
    if (!text) return;
    auto record = CFNKXProcessMessage::StringAndNumber(message, text, static_cast<std::uint32_t>(lParam));
    Send(record);
}

void CFNKNamedPipe::SendHistoryAdd(const wchar_t* url, const wchar_t* title) {
    if (!url || !title) return;
    auto record = CFNKXProcessMessage::Strings(UWM_TAB_HISTORY_ADD, url, title);
    Send(record);
}

#pragma once
// The named pipe between a tab's proxy engine thread (server end, main
// process) and its child process (client end, read by the child's engine
// thread and written by the child's main thread).
//
// How an engine thread drives its end, never blocking except in its wait:
//
//   HANDLE handles[2] = {otherProcess, pipe.WaitEvent()};
//   DWORD r = MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_ALLEVENTS);
//   if (r == WAIT_OBJECT_0 + 1) {
//       if (pipe.IsServer() && !pipe.IsConnected()) {
//           switch (pipe.PollConnect()) {           // marks the end connected
//           case CFNKNamedPipe::ConnectState::Connected: /* write the size and address */ break;
//           case CFNKNamedPipe::ConnectState::Failed: /* end of relay */ break;
//           case CFNKNamedPipe::ConnectState::Pending: break;
//           }
//       } else {
//           for (auto m = pipe.Receive(false); m; m = pipe.Receive(true)) {
//               if (IsFatalPipeError(m->m_nError)) { pipe.SetConnected(false); /* end of relay */ break; }
//               ... deliver *m (m->PostTo(window)) ...
//           }
//       }
//   }
//
// WaitEvent() is the connect event while a server end waits for its client
// and the read event otherwise; it is re-read before every wait. Receive(false)
// collects a completed read, issues the next one and returns at once; it must
// be called when the read event is signalled (and is harmless otherwise).
//
// The system cancels the outstanding I/O of a thread that ends. So the owning
// thread itself calls CreateServer (its connect) and Receive (its reads), and
// a writer thread that ends first calls FinishWrites.
#include "framework/handles.h"
#include "core/messages.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A system failure inside the pipe classes: the error GetLastError gave.
class CNamedPipeException : public std::exception {
public:
    explicit CNamedPipeException(DWORD error) : m_dwError(error) {}

    DWORD Error() const { return m_dwError; }

    // The system's text for the error (neutral language, system default
    // sub-language), truncated to `maxChars` characters including the
    // terminator. FALSE, with `text` made empty, when the system has none.
    // The help context is set to 0 when asked for.
    BOOL GetErrorMessage(LPWSTR text, UINT maxChars, PUINT helpContext = nullptr) const;

    const char* what() const noexcept override { return "named pipe error"; }

private:
    DWORD m_dwError;
};

// Errors of a read that end a tab's pipe: the engine thread stops relaying.
// (ERROR_NO_DATA, 232, is queued as a status record too but is not fatal.)
inline bool IsFatalPipeError(DWORD error) {
    return error == ERROR_INVALID_HANDLE || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

// A thin owner of a pipe handle; every failure throws CNamedPipeException.
class CNamedPipe {
public:
    static constexpr DWORD kBufferSize = 2000;       // output and input buffer of the server end
    static constexpr DWORD kDefaultTimeoutMs = 5000; // the pipe's default time-out

    CNamedPipe() = default;
    CNamedPipe(const CNamedPipe&) = delete;
    CNamedPipe& operator=(const CNamedPipe&) = delete;

    // The server end "\\.\PIPE\<name>": duplex, overlapped, message type and
    // read mode, one instance.
    void Create(const wchar_t* name);
    // The client end "\\.\PIPE\<name>", overlapped, in byte read mode.
    void Open(const wchar_t* name);
    // Closes the handle, if any.
    void Close();

    HANDLE Handle() const { return m_hPipe.valid() ? m_hPipe.get() : INVALID_HANDLE_VALUE; }
    bool IsOpen() const { return m_hPipe.valid(); }

    static std::wstring PipePath(const wchar_t* name);
    [[noreturn]] static void ThrowNamedPipeException(); // with GetLastError's error
    [[noreturn]] static void ThrowNamedPipeException(DWORD error);

protected:
    fw::UniqueHandle m_hPipe;
};

// One end of a tab's pipe with overlapped connect, read and write, a read
// buffer and a queue of decoded records. No operation throws to its caller.
//
// Threads: the owning engine thread creates, opens, receives, disconnects and
// closes; one other thread (the child's main thread) may call the Send
// operations at the same time. The object must not move while it has I/O
// outstanding, so it can be neither copied nor moved.
class CFNKNamedPipe : public CNamedPipe {
public:
    static constexpr DWORD kReadBufferSize = 5000;

    enum class ConnectState { Pending, Connected, Failed };

    CFNKNamedPipe() = default;
    virtual ~CFNKNamedPipe();

    // Creates the server end under a generated name ("%X%X" of a number unique
    // to this object within the process and the tick count) and starts waiting
    // for the client. True when the end exists and is waiting for, or already
    // has, its client; `name` receives the name. On failure GetLastError
    // gives the system's error.
    bool CreateServer(std::wstring& name);
    // The same under a name chosen by the caller.
    bool CreateServerNamed(const std::wstring& name);
    // Opens the client end; true when open, and the end is then connected.
    bool OpenClient(const wchar_t* name);
    // Server end: disconnects the client (failures ignored); no longer connected.
    void Disconnect();
    // Cancels and waits for this end's outstanding I/O, then closes the handle.
    // (Hides CNamedPipe::Close, which only closes the handle.)
    void Close();

    // The oldest queued record, handed over, or nothing. With `queuedOnly`
    // false (and a connected end) the completed read is collected and reads are
    // issued until one stays outstanding; whole records are queued, and read
    // errors 6, 109, 232 and 233 become status records.
    std::optional<CFNKXProcessMessage> Receive(bool queuedOnly);

    // Writes one record. Nothing is written while the end is not connected.
    // A write error 109, 232 or 233 is stored in the record's m_nError. Does
    // not wait for its own write; it waits for the previous write of this end
    // to complete first (at most kDefaultTimeoutMs, then that write is cancelled).
    void Send(CFNKXProcessMessage& message);
    void SendNumbers(UINT message, WPARAM wParam, LPARAM lParam);
    // Nothing is written for a null text.
    void SendString(UINT message, const wchar_t* text, LPARAM lParam);
    void SendHistoryAdd(const wchar_t* url, const wchar_t* title);

    // Waits up to `timeoutMs` for this end's write in flight to complete; true
    // when none is left. The system cancels a thread's outstanding I/O when
    // the thread ends, so a writer thread that ends while its last write is
    // still in flight (the peer has not read it yet) calls this first, or the
    // message is lost.
    bool FinishWrites(DWORD timeoutMs);

    // Server end waiting for its client: checks the connect without waiting
    // and marks the end connected when the client is there.
    ConnectState PollConnect();

    HANDLE ConnectEvent() const { return m_hConnectEvent.get(); }
    HANDLE ReadEvent() const { return m_hReadEvent.get(); }
    HANDLE WriteEvent() const { return m_hWriteEvent.get(); }
    // The event the owning thread waits on next.
    HANDLE WaitEvent() const { return m_bServer && !m_bConnected ? ConnectEvent() : ReadEvent(); }

    bool IsServer() const { return m_bServer; }
    bool IsConnected() const { return m_bConnected; }
    void SetConnected(bool connected);
    std::size_t QueuedCount() const { return m_queue.size(); }

    // "%X%X": the two numbers in upper-case hexadecimal without leading zeros.
    static std::wstring MakePipeName(std::uint64_t unique, DWORD tick);

private:
    void ReadAvailable();
    void Consume(DWORD bytes, bool messageEnded);
    void FinishWrite(DWORD timeoutMs); // with m_writeLock held
    void Reap(OVERLAPPED& ov, bool& pending);
    bool CreateEvents(bool withConnect);

    std::atomic<bool> m_bConnected{false};
    bool m_bServer = false;
    fw::UniqueHandle m_hConnectEvent;
    fw::UniqueHandle m_hReadEvent;
    fw::UniqueHandle m_hWriteEvent;
    OVERLAPPED m_ovConnect{};
    OVERLAPPED m_ovRead{};
    OVERLAPPED m_ovWrite{};
    bool m_connectPending = false;
    bool m_readPending = false;
    bool m_writePending = false;
    std::vector<std::uint8_t> m_readBuffer = std::vector<std::uint8_t>(kReadBufferSize);
    CXProcessDecoder m_decoder;
    std::deque<CFNKXProcessMessage> m_queue;
    std::mutex m_writeLock;            // the write state and the handle, against a writer thread
    std::vector<std::uint8_t> m_writeBuffer; // bytes of the write in flight
};

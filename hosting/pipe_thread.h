#pragma once
// What the proxy and the child role of an engine thread share: one end of a
// tab's named pipe, the other process to watch, and the loop that serves
// both and the thread's own queue in one wait, never polling.
//
// The loop (RunPipeLoop) waits on the other process's handle, the pipe's
// event and the thread's queue, and on a role's timed duty when it has one:
//   other process ended      the relay ends (NotifyRelayEnd, then quit);
//   pipe event               OnPipeEvent: records are received and handed to
//                            OnRecord in order; a fatal pipe error, or a
//                            record OnRecord refuses, ends the relay;
//   queue input              the framework pumps it (thread messages reach
//                            the role's OnThreadMessage);
//   duty due                 OnDuty.
// After the relay ends the framework's plain loop drains the queue to
// WM_QUIT and ExitInstance. Runs on the thread itself; nothing here blocks
// except the wait.
#include "framework/handles.h"
#include "ie_thread.h"
#include "named_pipe.h"

class CPipeEngineThread : public CIEThread {
public:
    int Run() override { return RunPipeLoop(); }
    virtual int RunPipeLoop();

    // Proxy: generated at start; child: from the command line.
    std::wstring m_strPipeName;
    // Proxy: the child process. Child: the parent, opened for SYNCHRONIZE
    // only. Closed with the object.
    fw::ProcessHandles m_processInfo;
    CFNKNamedPipe m_pipe;

protected:
    CPipeEngineThread(Role role, const Start& start);
    ~CPipeEngineThread() override;

    // The pipe event to wait for: the read event, or a server's connect
    // event until its client has connected.
    virtual HANDLE PipeEvent() const { return m_pipe.ReadEvent(); }
    // The pipe event is signalled. False when the relay ended.
    virtual bool OnPipeEvent();
    // One record from the peer; false refuses it and ends the relay.
    virtual bool OnRecord(CFNKXProcessMessage& record) = 0;
    // Milliseconds until OnDuty is due (INFINITE: none).
    virtual DWORD NextDutyIn(ULONGLONG /*now*/) const { return INFINITE; }
    virtual void OnDuty() {}
    // Tells the tab that its relay ended (the other process or the pipe is gone).
    virtual void NotifyRelayEnd() = 0;
    // Ends the relay: NotifyRelayEnd, then the thread's quit.
    void EndRelay();
};

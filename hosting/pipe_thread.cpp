#include "pipe_thread.h"

CPipeEngineThread::CPipeEngineThread(Role role, const Start& start)
    : CIEThread(role, start), m_strPipeName(start.pipeName) {}

CPipeEngineThread::~CPipeEngineThread() {
    m_pipe.Close();
}

void CPipeEngineThread::EndRelay() {
    NotifyRelayEnd();
    PostQuitMessage(0);
}

bool CPipeEngineThread::OnPipeEvent() {
    bool first = true;
    while (auto record = m_pipe.Receive(!first)) {
        first = false;
        const DWORD error = record->m_nError;
        if (IsFatalPipeError(error)) {
            m_pipe.SetConnected(false);
            EndRelay();
            return false;
        }
        // A read error that leaves the pipe open skips what it spoiled.
        if (error != 0) continue;
        if (!OnRecord(*record)) {
            m_pipe.SetConnected(false);
            EndRelay();
            return false;
        }
    }
    return true;
}

int CPipeEngineThread::RunPipeLoop() {
    for (;;) {
        HANDLE handles[2];
        DWORD count = 0;
        const bool watchProcess = static_cast<bool>(m_processInfo);
        if (watchProcess) handles[count++] = m_processInfo.process();
        HANDLE pipeEvent = PipeEvent();
        if (pipeEvent) handles[count++] = pipeEvent;
        const DWORD wait = NextDutyIn(GetTickCount64());
        const DWORD r = MsgWaitForMultipleObjects(count, handles, FALSE, wait, QS_ALLEVENTS);
        if (r == WAIT_TIMEOUT) {
            OnDuty();
            continue;
        }
        if (r < WAIT_OBJECT_0 + count) {
            if (watchProcess && r == WAIT_OBJECT_0) {
                EndRelay();
                return fw::WinThread::Run();
            }
            if (!OnPipeEvent()) return fw::WinThread::Run();
            continue;
        }
        if (r == WAIT_OBJECT_0 + count) {
            MSG peek;
            while (PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!PumpMessage()) return ExitInstance();
            }
            continue;
        }
        // A failed wait (a handle closed under it) must not spin.
        if (r == WAIT_FAILED) Sleep(10);
    }
}

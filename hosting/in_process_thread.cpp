#include "in_process_thread.h"

#include "core/messages.h"
#include "framework/app.h"
#include "framework/errors.h"
#include "framework/strings.h"
#include "isolation/isolation.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

CInProcessEngineThread::CInProcessEngineThread(const Start& start) : CIEThread(Role::InProcess, start), m_owner(start.hWndTab) {}

CInProcessEngineThread::~CInProcessEngineThread() = default;

bool CInProcessEngineThread::InitInstance() {
    // Bound before anything of the engine can run on this thread; an
    // unbound tab would silently show the system's engine instead.
    if (!BindThreadToVersion(0, m_nVersion)) {
        ReportError(IDS_BIND_FAILED);
        return false;
    }
    m_bBound = true;
    m_ole.emplace();
    if (!m_ole->ok()) {
        m_ole.reset();
        fw::AppMessageBox(nullptr, TranslatedString(IDS_OLE_INIT_FAILED), MB_OK | MB_ICONERROR);
        return false;
    }
    m_dlgContent.SetOwner(&m_owner);
    m_dlgContent.m_strURL = m_strURL;
    m_dlgContent.m_nVersion = m_nVersion;
    m_dlgContent.m_hWndTopLevel = fw::OutermostAncestor(m_hWndTab);
    // Under Wine, with several engine threads creating their tab contents at
    // the same moment, CreateDialog now and then fails with "invalid window
    // handle" although the view is there (seen about once in 40 captures of
    // four versions; the thread then sat in its error box). The creation is
    // tried again while the view exists; only a failure that repeats is the
    // user's to see.
    DWORD error = NO_ERROR;
    for (int attempt = 0; attempt < kContentCreateAttempts; ++attempt) {
        if (m_dlgContent.Create(IDD_TAB_CONTENT, m_hWndTab)) {
            error = NO_ERROR;
            break;
        }
        error = GetLastError();
        fw::LogFailure("CreateDialog of the tab content", HRESULT_FROM_WIN32(error));
        if (!IsWindow(m_hWndTab)) break;
    }
    if (error != NO_ERROR) {
        ReportError(IDS_SYSTEM_CALL_FAILED, fw::DescribeSystemError(L"CreateDialog", error));
        return false;
    }
    SetParent(m_dlgContent.Handle(), m_hWndTab);
    ShowWindow(m_dlgContent.Handle(), SW_SHOW);
    return true;
}

bool CInProcessEngineThread::OnThreadMessage(const MSG& msg) {
    const TabMessageRule* rule = FindTabMessage(msg.message, TabDirection::Down);
    if (!rule) return false;
    HWND dialog = m_dlgContent.Handle();
    switch (msg.message) {
    case UWM_ENGINE_CLOSE:
        // The dialog ignores it; its window goes with the view's.
        if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
        PostQuitMessage(0);
        return true;
    case WM_SIZE:
        if (dialog) MoveWindow(dialog, 0, 0, static_cast<int>(msg.wParam), static_cast<int>(msg.lParam), TRUE);
        return true;
    case UWM_ENGINE_COMMAND:
        if (dialog) SendMessageW(dialog, WM_COMMAND, msg.wParam, msg.lParam);
        return true;
    default:
        break;
    }
    // The dialog's handler takes String parameters over and answers non-zero
    // for a message it took; otherwise they are freed here.
    const bool takesString = rule->wParam == ParamKind::String || rule->lParam == ParamKind::String;
    const LRESULT taken = dialog ? SendMessageW(dialog, msg.message, msg.wParam, msg.lParam) : 0;
    if (takesString && !taken) {
        ReleaseTabMessageParams(msg.message, TabDirection::Down, msg.wParam, msg.lParam);
        // A capture that found no tab content still gets its answer.
        if (msg.message == UWM_TAB_CAPTURE)
            PostMessageW(m_hWndTab, UWM_TAB_CAPTURED, static_cast<WPARAM>(static_cast<std::uint32_t>(E_NOINTERFACE)), 0);
    }
    return true;
}

int CInProcessEngineThread::ExitInstance() {
    // The tab content and its control go first, then OLE; only then is the
    // thread unbound, so that every library load and release of their
    // teardown still reaches this thread's engine version.
    m_dlgContent.Destroy();
    m_ole.reset();
    if (m_bBound) UnbindCurrentThread();
    m_bBound = false;
    return CIEThread::ExitInstance();
}

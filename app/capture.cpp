#include "capture.h"

#include "browser/page_picture.h"
#include "core/messages.h"
#include "framework/handles.h"
#include "framework/strings.h"
#include "hosting/ie_thread.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <objbase.h>

#include <algorithm>

namespace {

constexpr const wchar_t* kViewClass = L"Vantrell.CaptureView";

// The part of a picture's file name that names the version.
constexpr const wchar_t* kFileLabels[kVersionCount] = {L"4", L"5", L"5.5", L"6", L"7", L"8", L"9", L"default"};

// A translated text with its one "%s" replaced by `detail`.
std::wstring Translated(UINT id, const std::wstring& detail = {}) { return TranslatedText(id, {detail}); }

std::wstring DescribeResult(HRESULT hr) {
    std::wstring text = fw::DescribeSystemError(nullptr, static_cast<DWORD>(hr));
    // The description ends with the number in decimal; an HRESULT reads
    // better in hexadecimal.
    const size_t open = text.rfind(L'(');
    if (open != std::wstring::npos) text.erase(open);
    return text + fw::Format(L"(0x%08lX)", static_cast<unsigned long>(hr));
}

bool IsBlank(const std::wstring& address) { return fw::EqualsNoCase(address, L"about:blank"); }

} // namespace

std::wstring CaptureFileName(IEVERSION version, size_t index, size_t count) {
    std::wstring name = IsValidVersion(version) ? kFileLabels[version] : L"unknown";
    if (count > 1) name += fw::Format(L"-%u", static_cast<unsigned>(index + 1));
    return name + L".png";
}

std::vector<CaptureItem> PlanCaptures(const CCustomCommandLineInfo& cmdInfo, const std::wstring& folder) {
    std::vector<CaptureItem> out;
    for (int v = 0; v < kVersionCount; ++v) {
        const auto version = static_cast<IEVERSION>(v);
        std::vector<std::wstring> addresses = cmdInfo.m_urls[v];
        if (!g_versionInfo[static_cast<size_t>(v)].templateRegistered) {
            // Take out one occurrence of every "-all" address.
            for (const std::wstring& all : cmdInfo.m_allUrls) {
                auto it = std::find(addresses.begin(), addresses.end(), all);
                if (it != addresses.end()) addresses.erase(it);
            }
        }
        for (size_t i = 0; i < addresses.size(); ++i)
            out.push_back({version, addresses[i], folder + L"\\" + CaptureFileName(version, i, addresses.size())});
    }
    if (cmdInfo.m_nShardCount > 0 && cmdInfo.m_nShardIndex >= 1 && cmdInfo.m_nShardIndex <= cmdInfo.m_nShardCount) {
        std::vector<std::wstring> order;
        for (const CaptureItem& item : out)
            if (std::find(order.begin(), order.end(), item.address) == order.end()) order.push_back(item.address);
        std::vector<CaptureItem> kept;
        for (const CaptureItem& item : out) {
            const size_t number = static_cast<size_t>(std::find(order.begin(), order.end(), item.address) - order.begin());
            if (number % static_cast<size_t>(cmdInfo.m_nShardCount) == static_cast<size_t>(cmdInfo.m_nShardIndex - 1))
                kept.push_back(item);
        }
        out = std::move(kept);
    }
    return out;
}

std::wstring EscapeRecordField(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
        if (control || (c == L'<' && text.compare(i + 1, 2, L"U+") == 0))
            out += fw::Format(L"<U+%04X>", static_cast<unsigned>(c));
        else
            out += c;
    }
    return out;
}

std::wstring FormatCaptureLine(const CaptureOutcome& outcome) {
    const IEVERSION v = outcome.item.version;
    std::wstring line = IsValidVersion(v) ? g_versionInfo[static_cast<size_t>(v)].name : L"?";
    line += L"\t" + EscapeRecordField(outcome.item.address) + L"\t" +
            (outcome.written ? EscapeRecordField(outcome.item.file) : std::wstring(L"-"));
    if (outcome.written || outcome.milliseconds)
        line += fw::Format(L"\t%lu ms", static_cast<unsigned long>(outcome.milliseconds));
    if (outcome.scriptErrorCount > 0) {
        std::wstring field = fw::Format(L"script errors: %u", static_cast<unsigned>(outcome.scriptErrorCount));
        if (!outcome.scriptErrors.empty()) {
            const CaptureScriptError& e = outcome.scriptErrors.front();
            field += fw::Format(L" (first: line %ld, char %ld: ", e.line, e.character) + e.message + L")";
        }
        line += L"\t" + EscapeRecordField(field);
    }
    if (!outcome.ok) line += L"\t" + EscapeRecordField(Translated(IDS_CAPTURE_ERROR, outcome.error));
    return line;
}

DWORD PrepareCaptureFolder(const std::wstring& folder) {
    if (folder.empty()) return ERROR_PATH_NOT_FOUND;
    // Made one level at a time, so that a failure can take back exactly the
    // folders made here and leaves no partial tree behind.
    std::vector<std::wstring> made;
    auto undo = [&made] {
        for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(it->c_str());
    };
    std::wstring path = folder;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    std::vector<std::wstring> missing;
    for (std::wstring at = path; !at.empty();) {
        if (GetFileAttributesW(at.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        missing.push_back(at);
        const size_t cut = at.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut < 3 || (at.compare(0, 2, L"\\\\") == 0 && at.find(L'\\', 2) >= cut))
            break;
        at.erase(cut);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (CreateDirectoryW(it->c_str(), nullptr)) {
            made.push_back(*it);
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS) continue;
        undo();
        return error;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        undo();
        return error;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        undo();
        return ERROR_DIRECTORY;
    }
    // A file that goes again when closed tells whether pictures can go here.
    const std::wstring probe = path + fw::Format(L"\\~vantrell-%lu.tmp", GetCurrentProcessId());
    fw::UniqueHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        undo();
        return error;
    }
    return NO_ERROR;
}

void WriteOutputLine(const std::wstring& line) {
    static HANDLE output = [] {
        HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
        if ((h == nullptr || h == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
            h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
        return h;
    }();
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(output, &mode)) {
        WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = fw::ToNarrow(text, CP_UTF8);
    WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// ---------------------------------------------------------------------------

struct CPageCapture::Job {
    enum class State { Waiting, Loading, LoadFailed, Drawing, Closed };

    IEVERSION version = IEDefault;
    bool childProcess = false;
    std::vector<size_t> items;  // indexes into m_outcomes, in order
    size_t current = 0;         // index into items
    State state = State::Waiting;
    HWND view = nullptr;
    DWORD threadId = 0;
    fw::UniqueHandle doneEvent;
    // The size went to an in-process engine thread (a proxy sends the view's
    // size to its child itself).
    bool sized = false;
    // Whether the engine can be asked to let go of its view (it answered).
    bool healthy = true;
    ULONGLONG started = 0;   // when the current address was asked for
    ULONGLONG deadline = 0;  // when the current state runs out
    bool timedOut = false;   // the current page never completed
    // The two records of each script error, read as the view reads them.
    ScriptErrorPairReader scriptErrors;
};

CPageCapture::CPageCapture(const Options& options, std::function<bool(IEVERSION)> available)
    : m_options(options), m_available(std::move(available)) {}

CPageCapture::~CPageCapture() {
    for (Job* job : m_jobs) {
        // A view left behind (its engine never ended) forgets the job.
        if (job->view) {
            SetWindowLongPtrW(job->view, GWLP_USERDATA, 0);
            RemovePropW(job->view, L"Vantrell.Capture");
        }
        delete job;
    }
}

std::vector<CaptureOutcome> CPageCapture::Run(const std::vector<CaptureItem>& items, const std::wstring& folder) {
    m_outcomes.clear();
    for (const CaptureItem& item : items) {
        CaptureOutcome outcome;
        outcome.item = item;
        m_outcomes.push_back(outcome);
    }
    if (items.empty()) return m_outcomes;

    if (const DWORD error = PrepareCaptureFolder(folder); error != NO_ERROR) {
        const std::wstring text =
            Translated(IDS_CAPTURE_FOLDER_FAILED, folder + L": " + fw::DescribeSystemError(nullptr, error));
        for (CaptureOutcome& o : m_outcomes) o.error = text;
        return m_outcomes;
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = &CPageCapture::ViewProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kViewClass;
    RegisterClassW(&wc);

    // One job per version, its items in order.
    for (size_t i = 0; i < m_outcomes.size(); ++i) {
        const IEVERSION version = m_outcomes[i].item.version;
        auto it = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const Job* j) { return j->version == version; });
        Job* job = it == m_jobs.end() ? nullptr : *it;
        if (!job) {
            job = new Job;
            job->version = version;
            job->childProcess = m_options.multiProcess || version == IE9;
            m_jobs.push_back(job);
        }
        job->items.push_back(i);
    }
    for (Job* job : m_jobs) StartJob(*job);

    auto busy = [this] {
        return std::any_of(m_jobs.begin(), m_jobs.end(), [](const Job* j) { return j->state != Job::State::Closed; });
    };
    while (busy()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        for (Job* job : m_jobs) Tick(*job);
    }
    WindDown();
    return m_outcomes;
}

void CPageCapture::StartJob(Job& job) {
    if (!m_available(job.version)) {
        CloseJob(job, Translated(IDS_CAPTURE_NOT_AVAILABLE), false);
        return;
    }
    job.view = CreateWindowExW(0, kViewClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, m_options.width,
                               m_options.height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    job.doneEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job.view || !job.doneEvent) {
        CloseJob(job, Translated(IDS_CAPTURE_START_FAILED, fw::DescribeSystemError(nullptr, GetLastError())), false);
        return;
    }
    SetWindowLongPtrW(job.view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&job));
    SetPropW(job.view, L"Vantrell.Capture", this);

    const std::wstring& first = m_outcomes[job.items.front()].item.address;
    auto thread = CIEThread::New(job.childProcess, false, L"", job.view, job.version, first.c_str(),
                                job.doneEvent.get(), job.view);
    job.started = GetTickCount64();
    job.deadline = job.started + m_options.waitMs;
    job.state = Job::State::Loading;
    if (!thread->CreateThread()) {
        const DWORD error = GetLastError();
        delete thread;
        CloseJob(job, Translated(IDS_CAPTURE_START_FAILED, fw::DescribeSystemError(L"CreateThread", error)), false);
        return;
    }
    job.threadId = thread->ThreadId();
    // A proxy sends the view's size to its child as it connects.
    job.sized = job.childProcess;
}

LRESULT CALLBACK CPageCapture::ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto job = reinterpret_cast<Job*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    auto self = static_cast<CPageCapture*>(GetPropW(hwnd, L"Vantrell.Capture"));
    if (message == WM_NCDESTROY) RemovePropW(hwnd, L"Vantrell.Capture");
    if (job && self && message >= UWM_TAB_GO_ADDRESS && message <= UWM_TAB_LAST) {
        self->OnTabMessage(*job, message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CPageCapture::OnTabMessage(Job& job, UINT message, WPARAM wParam, LPARAM lParam) {
    // Whatever the message, the engine thread has its queue now.
    if (!job.sized && job.threadId)
        job.sized = PostThreadMessageW(job.threadId, WM_SIZE, static_cast<WPARAM>(m_options.width),
                                       static_cast<LPARAM>(m_options.height));
    CaptureOutcome* outcome =
        job.current < job.items.size() ? &m_outcomes[job.items[job.current]] : nullptr;
    switch (message) {
    case UWM_TAB_TITLE:
    case UWM_TAB_STATUS_TEXT:
    case UWM_TAB_ADDRESS:
    case UWM_TAB_NEW_WINDOW:
        TakeStringParam(wParam);
        break;
    case UWM_TAB_BROWSER_READY: {
        // The marshalled browser is not needed; unmarshalling releases it.
        IDispatch* browser = nullptr;
        if (wParam && SUCCEEDED(CoGetInterfaceAndReleaseStream(reinterpret_cast<IStream*>(wParam), IID_IDispatch,
                                                               reinterpret_cast<void**>(&browser))) &&
            browser)
            browser->Release();
        break;
    }
    case UWM_TAB_HISTORY_ADD: {
        // The page is complete (DocumentComplete of the page itself).
        auto url = TakeStringParam(wParam);
        TakeStringParam(static_cast<std::uintptr_t>(lParam));
        if (!outcome) break;
        if (job.state == Job::State::LoadFailed) {
            // The engine's error page of the failed address.
            NextAddress(job);
        } else if (job.state == Job::State::Loading) {
            // A child shows about:blank before its first address arrives.
            if (url && IsBlank(*url) && !IsBlank(outcome->item.address)) break;
            RequestPicture(job);
        }
        break;
    }
    case UWM_TAB_LOAD_FAILED:
        if (outcome && job.state == Job::State::Loading) {
            // An HTTP status reads in decimal, an HRESULT in hexadecimal.
            const auto status = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
            outcome->error = Translated(IDS_CAPTURE_LOAD_FAILED,
                                        status < 0 ? fw::Format(L"0x%08lX", static_cast<unsigned long>(status))
                                                   : fw::Format(L"%ld", static_cast<long>(status)));
            outcome->milliseconds = static_cast<DWORD>(GetTickCount64() - job.started);
            job.state = Job::State::LoadFailed;
            job.deadline = GetTickCount64() + kErrorPageMs;
        }
        break;
    case UWM_TAB_CAPTURED:
        if (outcome && job.state == Job::State::Drawing) {
            const auto hr = static_cast<HRESULT>(static_cast<std::uint32_t>(wParam));
            outcome->milliseconds = static_cast<DWORD>(GetTickCount64() - job.started);
            if (SUCCEEDED(hr)) {
                outcome->written = true;
                outcome->ok = !job.timedOut;
                // Said only now: the message speaks of the picture.
                if (job.timedOut)
                    outcome->error = Translated(IDS_CAPTURE_TIMED_OUT,
                                                fw::Format(L"%lu", static_cast<unsigned long>(m_options.waitMs)));
            } else {
                outcome->error = Translated(IDS_CAPTURE_DRAW_FAILED, DescribeResult(hr));
            }
            NextAddress(job);
        }
        break;
    case UWM_TAB_SCRIPT_ERROR_AT:
        job.scriptErrors.TakePosition(wParam, lParam);
        break;
    case UWM_TAB_SCRIPT_ERROR: {
        ScriptError error = job.scriptErrors.TakeError(wParam, lParam);
        // An error belongs to the address being loaded (not to one already
        // drawn, nor to the blank page a child starts with).
        if (outcome && (job.state == Job::State::Loading || job.state == Job::State::Drawing)) {
            ++outcome->scriptErrorCount;
            if (outcome->scriptErrors.size() < kMaxKeptScriptErrors) outcome->scriptErrors.push_back(std::move(error));
        }
        break;
    }
    case UWM_TAB_MUST_CLOSE:
        // The engine is gone (a child that ended or never started), or the
        // page closed its own window.
        if (job.state != Job::State::Closed) CloseJob(job, Translated(IDS_CAPTURE_ENGINE_LOST), false);
        break;
    default:
        // A message this capture does not take still frees what it carries.
        ReleaseTabMessageParams(message, TabDirection::Up, wParam, lParam);
        break;
    }
}

void CPageCapture::RequestPicture(Job& job) {
    const CaptureOutcome& outcome = m_outcomes[job.items[job.current]];
    auto file = NewStringParam<WPARAM>(outcome.item.file);
    const LPARAM size = static_cast<LPARAM>(CaptureSizeParam(m_options.width, m_options.height));
    job.state = Job::State::Drawing;
    job.deadline = GetTickCount64() + kAnswerMs;
    if (!PostThreadMessageW(job.threadId, UWM_TAB_CAPTURE, file, size)) {
        TakeStringParam(file);
        CloseJob(job, Translated(IDS_CAPTURE_ENGINE_LOST), false);
    }
}

void CPageCapture::ItemDone(size_t index) {
    if (m_options.onItemDone) m_options.onItemDone(index, m_outcomes[index]);
}

void CPageCapture::NextAddress(Job& job) {
    if (job.current < job.items.size()) ItemDone(job.items[job.current]);
    if (++job.current >= job.items.size()) {
        CloseJob(job, {}, true);
        return;
    }
    const std::wstring& address = m_outcomes[job.items[job.current]].item.address;
    job.state = Job::State::Loading;
    job.timedOut = false;
    job.started = GetTickCount64();
    job.deadline = job.started + m_options.waitMs;
    auto param = NewStringParam<WPARAM>(address);
    if (!PostThreadMessageW(job.threadId, UWM_TAB_NAVIGATE, param, 0)) {
        TakeStringParam(param);
        CloseJob(job, Translated(IDS_CAPTURE_ENGINE_LOST), false);
    }
}

void CPageCapture::Tick(Job& job) {
    if (job.state == Job::State::Closed || job.state == Job::State::Waiting) return;
    // An engine thread that ended on its own (it could not bind itself or
    // create the tab content, and said so) signals its done event.
    if (job.doneEvent && WaitForSingleObject(job.doneEvent.get(), 0) == WAIT_OBJECT_0) {
        CloseJob(job, Translated(IDS_CAPTURE_ENGINE_LOST), false);
        return;
    }
    if (!job.sized && job.threadId)
        job.sized = PostThreadMessageW(job.threadId, WM_SIZE, static_cast<WPARAM>(m_options.width),
                                       static_cast<LPARAM>(m_options.height));
    const ULONGLONG now = GetTickCount64();
    if (now < job.deadline) return;
    CaptureOutcome& outcome = m_outcomes[job.items[job.current]];
    switch (job.state) {
    case Job::State::Loading:
        // The page never completed: it is drawn as it is, and reported once
        // the picture is written (a later failure reports itself instead).
        job.timedOut = true;
        RequestPicture(job);
        break;
    case Job::State::LoadFailed:
        NextAddress(job);
        break;
    case Job::State::Drawing:
        outcome.milliseconds = static_cast<DWORD>(now - job.started);
        if (outcome.error.empty())
            outcome.error = Translated(IDS_CAPTURE_NO_ANSWER, fw::Format(L"%lu", static_cast<unsigned long>(kAnswerMs)));
        CloseJob(job, Translated(IDS_CAPTURE_NO_ANSWER, fw::Format(L"%lu", static_cast<unsigned long>(kAnswerMs))),
                 false);
        break;
    default:
        break;
    }
}

void CPageCapture::CloseJob(Job& job, const std::wstring& error, bool healthy) {
    // Items not reached keep the reason; one that has its own keeps that.
    for (size_t i = job.current; i < job.items.size(); ++i) {
        CaptureOutcome& o = m_outcomes[job.items[i]];
        if (!o.written && o.error.empty()) o.error = error.empty() ? Translated(IDS_CAPTURE_ENGINE_LOST) : error;
        ItemDone(job.items[i]);
    }
    job.current = job.items.size();
    job.state = Job::State::Closed;
    job.healthy = healthy;
    if (!job.threadId) return;
    // A child's tab content is a window inside the view: destroying the view
    // ends the child the way closing a tab does. That takes the child's
    // answer, so an engine that stopped answering is only told to close
    // (its proxy ends the child after a while). An in-process engine thread
    // destroys its tab content itself; the view goes once the thread has.
    if (job.childProcess && healthy && job.view) {
        DestroyWindow(job.view);
        job.view = nullptr;
    }
    PostThreadMessageW(job.threadId, UWM_ENGINE_CLOSE, 0, 0);
}

void CPageCapture::WindDown() {
    std::vector<HANDLE> events;
    for (Job* job : m_jobs)
        if (job->threadId && job->doneEvent) events.push_back(job->doneEvent.get());
    const ULONGLONG end = GetTickCount64() + kWindDownMs;
    for (;;) {
        events.erase(std::remove_if(events.begin(), events.end(),
                                    [](HANDLE e) { return WaitForSingleObject(e, 0) == WAIT_OBJECT_0; }),
                     events.end());
        const ULONGLONG now = GetTickCount64();
        if (events.empty() || now >= end) break;
        // Any of them, or a message: the ending threads may send to the views.
        const DWORD r = MsgWaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                                                  static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (r == WAIT_TIMEOUT || r == WAIT_FAILED) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    for (Job* job : m_jobs) {
        if (!job->view) continue;
        // Only a view whose engine is gone: an engine thread that still
        // runs may own a window inside it, whose destruction it would have
        // to answer.
        if (!job->doneEvent || WaitForSingleObject(job->doneEvent.get(), 0) == WAIT_OBJECT_0) {
            DestroyWindow(job->view);
            job->view = nullptr;
        }
    }
}

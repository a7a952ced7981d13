#include "release_check.h"

#include "core/locations.h"
#include "core/settings.h"
#include "framework/app.h"
#include "framework/errors.h"
#include "framework/handles.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "prefs/language.h"
#include "res/resource_ids.h"

#include <commctrl.h>
#include <shellapi.h>
#include <wininet.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

using InternetHandle = fw::Owner<HINTERNET, &InternetCloseHandle>;

// Set while a check on demand runs; the command is disabled meanwhile.
std::atomic<bool> g_onDemandRunning{false};

std::wstring AppCaption() {
    fw::WinApp* app = fw::GetApp();
    return app && !app->AppName().empty() ? app->AppName() : std::wstring(L"Vantrell");
}

// Opens `page` in the user's default browser. The shell may use COM for it,
// so a worker thread enters an apartment around the call.
void OpenPage(const std::wstring& page) {
    fw::ComInit com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellExecuteW(nullptr, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// The entry of a thread that owns the Work object it is handed.
template <typename Work>
DWORD WINAPI RunWork(void* p) {
    std::unique_ptr<Work> owned(static_cast<Work*>(p));
    // No exception leaves the thread.
    return fw::Guarded("release check thread", DWORD{1}, [&] {
        (*owned)();
        return DWORD{0};
    });
}

// Runs `work` on a new thread that owns it; nothing waits for that thread.
// False when the thread could not be created (`work` is then destroyed here).
template <typename Work>
bool RunDetached(std::unique_ptr<Work> work) {
    fw::UniqueHandle thread(CreateThread(nullptr, 0, &RunWork<Work>, work.get(), 0, nullptr));
    if (!thread) return false;
    (void)work.release();
    return true;
}

struct BackgroundCheck {
    VersionCheckInfo info;
    void operator()() const {
        std::wstring text;
        if (!DownloadText(info.url.c_str(), text)) return;
        if (_wcsicmp(text.c_str(), info.version.c_str()) == 0) return;
        if (MessageBoxW(info.hwndOwner, info.message.c_str(), info.caption.c_str(), MB_OKCANCEL) == IDOK)
            OpenPage(info.downloadPage);
    }
};

struct OnDemandCheck {
    HWND owner;
    std::wstring version;
    void operator()() const {
        std::wstring text;
        const bool downloaded = DownloadText(kReleaseCheckAddress, text);
        // A new check may start once the answer is known; the message box
        // below is the user's to close.
        g_onDemandRunning = false;
        const std::wstring caption = AppCaption();
        if (!downloaded) {
            MessageBoxW(owner, TranslatedString(IDS_VERSION_INFO_UNAVAILABLE).c_str(), caption.c_str(),
                        MB_ICONEXCLAMATION | MB_OK);
        } else if (text == version) {
            MessageBoxW(owner, TranslatedString(IDS_LATEST_VERSION).c_str(), caption.c_str(), MB_ICONINFORMATION);
        } else if (MessageBoxW(owner, TranslatedString(IDS_NEW_VERSION_AVAILABLE).c_str(), caption.c_str(),
                               MB_ICONINFORMATION | MB_YESNO) == IDYES) {
            OpenPage(kProductPageAddress);
        }
    }
};

} // namespace

namespace {

// The download itself, on the calling thread. Reading stops at `deadline`
// (a GetTickCount difference from `start`) with what came so far.
bool FetchText(const std::wstring& url, std::wstring& text, DWORD start, DWORD deadline) {
    InternetHandle session(InternetOpenW(AppCaption().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    // Without limits a server that accepts and never answers would keep the
    // check waiting for minutes.
    DWORD timeout = kReleaseCheckTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof(timeout));
    InternetHandle file(InternetOpenUrlW(session.get(), url.c_str(), nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_ASCII, 1));
    if (!file) return false;
    // An error page is no version.
    DWORD status = 0, size = sizeof(status);
    if (!HttpQueryInfoW(file.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status != 200)
        return false;
    // The answer may come in several pieces: read until it ends, the buffer
    // is full (one byte stays for the terminating zero) or time is up.
    std::vector<char> buffer(kReleaseCheckMaxBytes, '\0');
    DWORD total = 0;
    while (total < kReleaseCheckMaxBytes - 1) {
        if (GetTickCount() - start > deadline) break;
        DWORD read = 0;
        if (!InternetReadFile(file.get(), buffer.data() + total, kReleaseCheckMaxBytes - 1 - total, &read)) {
            if (total == 0) return false;
            break;
        }
        if (read == 0) break;
        total += read;
    }
    buffer[total] = '\0';
    const int bytes = static_cast<int>(strlen(buffer.data()));
    if (bytes == 0) return false;
    const int chars = MultiByteToWideChar(CP_ACP, 0, buffer.data(), bytes, nullptr, 0);
    if (chars <= 0) return false;
    text.resize(static_cast<size_t>(chars));
    MultiByteToWideChar(CP_ACP, 0, buffer.data(), bytes, text.data(), chars);
    return true;
}

// What the download thread shares with the thread that waits for it: the
// later of the two to finish frees it.
struct Download {
    std::wstring url;
    std::wstring text;
    bool ok = false;
    DWORD start = 0;
};

DWORD WINAPI RunDownload(void* p) {
    std::unique_ptr<std::shared_ptr<Download>> own(static_cast<std::shared_ptr<Download>*>(p));
    Download& d = **own;
    // No exception leaves the thread; the check then reports no answer.
    d.ok = fw::Guarded("release check download", false,
                       [&] { return FetchText(d.url, d.text, d.start, kReleaseCheckDeadlineMs - 1000); });
    return 0;
}

} // namespace

bool DownloadText(LPCWSTR url, std::wstring& text) {
    text.clear();
    if (!url || !*url) return false;
    // WinINet's own time limits do not cover every way a server can stall
    // (and not every WinINet honours them), so the download runs on a thread
    // of its own that is left behind when it takes too long; it ends once
    // WinINet gives up and frees what it shares.
    auto shared = std::make_shared<Download>();
    shared->url = url;
    shared->start = GetTickCount();
    auto* handOver = new std::shared_ptr<Download>(shared);
    fw::UniqueHandle thread(CreateThread(nullptr, 0, &RunDownload, handOver, 0, nullptr));
    if (!thread) {
        delete handOver;
        return false;
    }
    const bool finished = WaitForSingleObject(thread.get(), kReleaseCheckDeadlineMs) == WAIT_OBJECT_0;
    if (!finished || !shared->ok) return false;
    text = shared->text;
    return true;
}

bool IsWeeklyCheckDue(const std::wstring& lastCheck, time_t now) {
    const long last = wcstol(lastCheck.c_str(), nullptr, 10);
    const double passed = difftime(now, static_cast<time_t>(last));
    return passed > kReleaseCheckInterval || passed < 0;
}

bool RunWeeklyVersionCheck(const fw::Profile& profile, HWND owner, time_t now) {
    if (!IsWeeklyCheckDue(profile.GetString(setting::kSection, setting::kLastVersionCheck, L""), now)) return false;
    VersionCheckInfo info;
    info.version = GetProductVersionString();
    info.url = kReleaseCheckAddress;
    info.message = TranslatedString(IDS_NEW_VERSION_AVAILABLE);
    info.caption = L"Vantrell";
    info.hwndOwner = owner;
    info.downloadPage = kProductPageAddress;
    const bool started = StartBackgroundVersionCheck(info);
    // Stored whether or not the download will succeed: a failure waits a week.
    // (A value that cannot be written only makes the next start check again.)
    (void)profile.WriteString(setting::kSection, setting::kLastVersionCheck,
                              fw::Format(L"%d", static_cast<int>(static_cast<INT32>(now & 0xFFFFFFFF))));
    return started;
}

bool StartBackgroundVersionCheck(const VersionCheckInfo& info) {
    if (!info.hwndOwner || info.version.empty() || info.url.empty() || info.message.empty() || info.caption.empty())
        return false;
    return RunDetached(std::make_unique<BackgroundCheck>(BackgroundCheck{info}));
}

bool StartVersionCheckOnDemand(HWND owner) {
    if (g_onDemandRunning.exchange(true)) return false;
    if (!RunDetached(std::make_unique<OnDemandCheck>(OnDemandCheck{owner, GetProductVersionString()}))) {
        g_onDemandRunning = false;
        return false;
    }
    return true;
}

bool IsVersionCheckOnDemandRunning() { return g_onDemandRunning; }

std::wstring AboutLinkMarkup(const std::wstring& version) {
    return std::wstring(L"<a href=\"") + kProductPageAddress + L"\">" + fw::Format(L"Vantrell v%s", version.c_str()) +
           L"</a>";
}

INT_PTR CAboutDlg::DoModal(HWND parent) { return fw::Dialog::DoModal(IDD_ABOUTBOX, parent); }

BOOL CAboutDlg::OnInitDialog() {
    // Centred on the window that opened it.
    RECT own{}, box{};
    HWND owner = GetWindow(Handle(), GW_OWNER);
    if (owner && GetWindowRect(owner, &own) && GetWindowRect(Handle(), &box)) {
        const int width = box.right - box.left, height = box.bottom - box.top;
        SetWindowPos(Handle(), nullptr, own.left + (own.right - own.left - width) / 2,
                     own.top + (own.bottom - own.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (HWND link = Item(IDC_VERSION_LINK))
        SetWindowTextW(link, AboutLinkMarkup(GetProductVersionString()).c_str());
    const std::wstring title = TranslatedString(IDS_ABOUT_TITLE);
    if (!title.empty()) SetWindowTextW(Handle(), title.c_str());
    const std::wstring ok = TranslatedString(IDS_OK_BUTTON);
    if (!ok.empty()) SetWindowTextW(Item(IDOK), ok.c_str());
    return TRUE;
}

bool CAboutDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(LOWORD(wParam));
            return true;
        }
        return false;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->idFrom == IDC_VERSION_LINK && (header->code == NM_CLICK || header->code == NM_RETURN)) {
            OpenPage(kProductPageAddress);
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
            result = TRUE;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

#pragma once
// The release check and the About box.
//
// The maker publishes the latest version as plain text at
// kReleaseCheckAddress (core/locations.h). The program compares it with its
// own version string (GetProductVersionString):
//   - on demand, command ID_CHECK_VERSION: StartVersionCheckOnDemand. The
//     download runs on a worker thread, so a slow or silent server never
//     freezes the window; the worker then shows the answer ("latest
//     version", "new version, download?", or "unable to access") in a
//     message box owned by the main window. While one check runs the command
//     is disabled (IsVersionCheckOnDemandRunning).
//   - once a week, when the main frame is created: RunWeeklyVersionCheck.
//     It stores the time of the check in "LastVersionCheck" when it starts
//     and asks only when the published version differs (letter case
//     ignored); a failure says nothing.
//
// Threads: both checks are started from the user-interface thread; each
// worker owns its VersionCheckInfo, reads nothing else and ends after its
// message box; nothing waits for it (the process may end under it).
//
// Bounds: one download reads at most kReleaseCheckMaxBytes - 1 bytes, asks
// WinINet to wait at most kReleaseCheckTimeoutMs for the connection and for
// each read, and gives up after kReleaseCheckDeadlineMs in all (the request
// is then left to end on a thread of its own).
//
//   if (!IsVersionCheckOnDemandRunning()) StartVersionCheckOnDemand(mainWindow);
//   RunWeeklyVersionCheck(app.GetProfile(), mainWindow, time(nullptr));
//   CAboutDlg about; about.DoModal(mainWindow);
#include "framework/window.h"

#include <windows.h>

#include <ctime>
#include <string>

namespace fw { class Profile; }

inline constexpr DWORD kReleaseCheckTimeoutMs = 10000;
inline constexpr DWORD kReleaseCheckDeadlineMs = 20000;
// Seven days: the weekly check runs when more than this many seconds passed.
inline constexpr double kReleaseCheckInterval = 604800.0;

// What a background check needs, copied for its worker thread.
struct VersionCheckInfo {
    std::wstring version;       // the program's version string
    std::wstring url;           // the release-check address
    std::wstring message;       // the question asked when the versions differ
    std::wstring caption;       // the message box's caption
    HWND hwndOwner = nullptr;   // owner of the message box
    std::wstring downloadPage;  // opened when the user says OK
};

// Fetches `url` through WinINet with the system's proxy settings and no
// cache, and returns its body as ANSI text cut at the first zero byte and
// after kReleaseCheckMaxBytes - 1 bytes. False (and `text` empty) when the
// address cannot be reached, the answer's status is not 200, the answer did
// not come within kReleaseCheckDeadlineMs, or the body is empty. Blocks the
// calling thread for at most kReleaseCheckDeadlineMs.
[[nodiscard]] bool DownloadText(LPCWSTR url, std::wstring& text);

// Whether the weekly check is due at `now` after the stored "LastVersionCheck"
// text `lastCheck` (a number of seconds since 1970; empty or not a number
// counts as 0): more than seven days passed, or the stored time lies ahead
// of `now` (a clock set back or a damaged value).
[[nodiscard]] bool IsWeeklyCheckDue(const std::wstring& lastCheck, time_t now);
// The weekly check at main-frame creation: when due, starts the background
// check owned by `owner` and stores `now` as "LastVersionCheck" ("%d" of its
// low 32 bits). Returns true when a check was started.
bool RunWeeklyVersionCheck(const fw::Profile& profile, HWND owner, time_t now);

// Starts the background check of `info` on its own worker thread; false
// (nothing started) when the owner is null, a text is empty, or the thread
// could not be created.
bool StartBackgroundVersionCheck(const VersionCheckInfo& info);

// The check on demand, owned by `owner`; false when a check on demand is
// already running or its thread could not be created.
bool StartVersionCheckOnDemand(HWND owner);
[[nodiscard]] bool IsVersionCheckOnDemandRunning();

// The link control's markup of the About box: one anchor to the product
// page whose text is "Vantrell v" and the version.
std::wstring AboutLinkMarkup(const std::wstring& version);

// The About box (dialog 100): the program's icon, its version as a link to
// the product page, OK. Modal on the user-interface thread.
class CAboutDlg : public fw::Dialog {
public:
    // IDOK, IDCANCEL, or -1 when the dialog could not be shown.
    INT_PTR DoModal(HWND parent);

protected:
    BOOL OnInitDialog() override;
    bool DialogProc(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
};

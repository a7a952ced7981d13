#pragma once
// Pictures of pages from the command line, without a main window:
//
//   vantrell.exe -capture FOLDER [-width N] [-height N] [-wait MS]
//                -ie55 URL -ie7 URL ...        (or -all URL)
//
// Every version named gets one engine, run the way a tab runs it: on an
// engine thread bound to the version (multi-thread mode) or in a child
// process of its own (multi-process mode, and always for version 9). The
// engines work side by side; each loads its addresses one after the other,
// waits for the page's DocumentComplete (at most MS milliseconds), has the
// tab content draw the page at N x N pixels and write FOLDER\<version>.png,
// then goes on to its next address. One line per address is printed.
//
// Created, run and destroyed on the main thread of the process, which must
// have OLE and GDI+ started, the language loaded and, in multi-thread mode,
// the isolation layer installed. Run blocks, serving the thread's messages,
// until every address has its outcome; it never waits for an engine longer
// than the time limits below, so a page or an engine that never answers
// cannot hang it.
//
//   CPageCapture capture({1024, 768, 30000, false}, available);
//   std::vector<CaptureOutcome> outcomes = capture.Run(PlanCaptures(cmdInfo, folder), folder);
//   for (const auto& o : outcomes) WriteOutputLine(FormatCaptureLine(o));
#include "command_line.h"

#include "core/script_error_log.h"
#include "core/versions.h"

#include <functional>
#include <string>
#include <vector>

// One address to draw in one version, and the file it goes to.
struct CaptureItem {
    IEVERSION version = IEDefault;
    std::wstring address;
    std::wstring file;
};

// A script error the page's engine reported while the item was loaded.
using CaptureScriptError = ScriptError;

// What became of one item. `written`: the file exists. `ok`: written from a
// complete page; only then is `error` empty.
struct CaptureOutcome {
    CaptureItem item;
    bool written = false;
    bool ok = false;
    DWORD milliseconds = 0;
    std::wstring error;
    // The script errors of the page: how many there were, and the first
    // kMaxKeptScriptErrors of them.
    size_t scriptErrorCount = 0;
    std::vector<CaptureScriptError> scriptErrors;
};
constexpr size_t kMaxKeptScriptErrors = 5;

// The file name of the `index`th (from 0) of `count` addresses of a version:
// "5.5.png", "7.png", "default.png", or "7-1.png", "7-2.png" ... when the
// version has more than one.
std::wstring CaptureFileName(IEVERSION version, size_t index, size_t count);
// The items of a command line, version by version in the order of the
// versions, addresses in the order given. Versions 4 and 5 (which never
// open a tab) are listed only for addresses named for them, not for those
// of "-all". `folder` has no trailing separator.
//
// With "-shard K/N" only the addresses of that shard are kept: the
// different addresses of the whole command line, in the order they first
// appear, numbered from 1; shard K (1-based) takes numbers K, K+N, K+2N...
// A file keeps the name it has in the whole run ("7-5.png" stays the fifth
// address of version 7), so the shards of one run never write the same name
// and their pictures match those of an unsharded run.
std::vector<CaptureItem> PlanCaptures(const CCustomCommandLineInfo& cmdInfo, const std::wstring& folder);
// A field of an output record with its control characters (U+0000-U+001F,
// U+007F-U+009F, U+2028, U+2029) written as "<U+0009>", so no text can end
// a field or a line early. Nothing else changes (paths and addresses read as
// they are: '<' is never part of a file name and is escaped in addresses),
// except a '<' that begins "<U+", written "<U+003C>", so every escape can be
// told from text.
std::wstring EscapeRecordField(const std::wstring& text);
// "IE 7<TAB>address<TAB>file<TAB>812 ms", with "<TAB>error: ..." after it
// for a failure; "-" stands for a file that was not written, and the time
// is left out when nothing was drawn. The address and the error are
// escaped (EscapeRecordField).
std::wstring FormatCaptureLine(const CaptureOutcome& outcome);
// Creates `folder` (and its parents) when it is missing and checks that a
// file can be created in it. NO_ERROR or the system's error; on failure
// every folder this call created is removed again.
DWORD PrepareCaptureFolder(const std::wstring& folder);
// Writes `line` and a line end to the process's standard output; a program
// without one (started from a console window) writes to its parent's
// console. UTF-8 into files and pipes.
void WriteOutputLine(const std::wstring& line);

class CPageCapture {
public:
    struct Options {
        int width = CCustomCommandLineInfo::kDefaultCaptureWidth;
        int height = CCustomCommandLineInfo::kDefaultCaptureHeight;
        // How long a page may take to complete before it is drawn as it is.
        DWORD waitMs = CCustomCommandLineInfo::kDefaultCaptureWaitMs;
        // Every engine in a child process.
        bool multiProcess = false;
        // Called on the capture's thread as soon as an item has its final
        // outcome (its picture written and closed, or its failure known),
        // with the item's index; items of different versions finish in no
        // particular order. May be empty.
        std::function<void(size_t, const CaptureOutcome&)> onItemDone;
    };
    // How long an engine may take to answer a request to draw.
    static constexpr DWORD kAnswerMs = 15000;
    // How long after a failed load the engine may still show its error page.
    static constexpr DWORD kErrorPageMs = 2000;
    // How long the end waits for the engines to wind down.
    static constexpr DWORD kWindDownMs = 7000;

    // `available` tells whether a version can run at all; a version that
    // cannot gets its error lines without an engine being started.
    CPageCapture(const Options& options, std::function<bool(IEVERSION)> available);
    ~CPageCapture();
    CPageCapture(const CPageCapture&) = delete;
    CPageCapture& operator=(const CPageCapture&) = delete;

    // Draws every item; one outcome per item, in the items' order.
    std::vector<CaptureOutcome> Run(const std::vector<CaptureItem>& items, const std::wstring& folder);

private:
    struct Job;
    static LRESULT CALLBACK ViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void StartJob(Job& job);
    void OnTabMessage(Job& job, UINT message, WPARAM wParam, LPARAM lParam);
    void Tick(Job& job);
    void RequestPicture(Job& job);
    void NextAddress(Job& job);
    void ItemDone(size_t index);
    // Ends the job; every item not yet done gets `error` (none: the job
    // finished its items). `healthy`: the engine answered its last request.
    void CloseJob(Job& job, const std::wstring& error, bool healthy);
    void WindDown();

    Options m_options;
    std::function<bool(IEVERSION)> m_available;
    std::vector<CaptureOutcome> m_outcomes;
    std::vector<Job*> m_jobs;
};

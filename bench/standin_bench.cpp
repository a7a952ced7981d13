// The stand-in control's figures: how long a control takes to be created
// and embedded, to load the sample page (Navigate to DocumentComplete), to
// paint a picture of it, and how much memory each live control adds.
#include "standin_bench.h"

#include "engines/browser/tests/test_container.h"

#include <exdispid.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Committed private memory of the process; Wine reports it as the page-file
// usage (PrivateUsage stays 0 there).
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

std::wstring SamplePage() {
    wchar_t folder[MAX_PATH];
    GetModuleFileNameW(nullptr, folder, MAX_PATH);
    if (wchar_t* slash = wcsrchr(folder, L'\\')) *slash = L'\0';
    return std::wstring(folder) + L"\\samples\\compare.html";
}

double PaintMilliseconds(IWebBrowser2* browser, int rounds) {
    IViewObject* view = nullptr;
    if (FAILED(browser->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) return -1;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 1024, 768);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECTL bounds{0, 0, 1024, 768};
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i)
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    const double each = Milliseconds(Clock::now() - start) / rounds;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    view->Release();
    return each;
}

}  // namespace

void StandInBenchmark(int runs) {
    OleInitialize(nullptr);
    const std::wstring page = SamplePage();
    for (const wchar_t* library : {L"5hdocvw.dll", L"7eframe.dll", L"8eframe.dll"}) {
        std::vector<double> create, load, paint;
        for (int run = 0; run < runs; ++run) {
            browser_test::Container host;
            const auto t0 = Clock::now();
            if (FAILED(host.CreateFromLibrary(library))) {
                std::printf("stand-in %ls: the control could not be created\n", library);
                break;
            }
            const auto t1 = Clock::now();
            if (!host.NavigateAndWait(page)) {
                std::printf("stand-in %ls: the sample page did not load\n", library);
                break;
            }
            const auto t2 = Clock::now();
            create.push_back(Milliseconds(t1 - t0));
            load.push_back(Milliseconds(t2 - t1));
            paint.push_back(PaintMilliseconds(host.Browser(), 10));
        }
        std::printf("stand-in %ls: create+embed %.1f ms, load sample page %.1f ms, paint 1024x768 %.2f ms "
                    "(medians of %d)\n",
                    library, Median(create), Median(load), Median(paint), static_cast<int>(create.size()));
    }

    // Memory: 10 live controls of one version, each showing the sample page.
    const SIZE_T before = PrivateBytes();
    {
        std::vector<std::unique_ptr<browser_test::Container>> hosts;
        for (int i = 0; i < 10; ++i) {
            auto host = std::make_unique<browser_test::Container>();
            if (FAILED(host->CreateFromLibrary(L"7eframe.dll")) || !host->NavigateAndWait(page)) break;
            hosts.push_back(std::move(host));
        }
        const SIZE_T during = PrivateBytes();
        std::printf("stand-in memory: %.0f KB private bytes per control showing the sample page (%zu controls)\n",
                    hosts.empty() ? 0.0 : double(during - before) / 1024.0 / hosts.size(), hosts.size());
    }
    std::fflush(stdout);
    OleUninitialize();
}

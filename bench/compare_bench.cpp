// "vantrell_bench.exe compare [runs]": 20 pages in 5.5, 6, 7 and 8 (80
// pictures) captured by vantrell.exe, once as a plain capture and once with
// "-compare" (60 comparisons against 8, diff pictures, the three reports),
// alternately, in multi-thread mode. Prints the median whole-run times and
// what comparing and reporting added, in percent of the plain run.
#include "compare_bench.h"

#include "app/picture_compare.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace std::chrono;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The staged sample page with its title and heading made its own.
bool MakePages(const testing_support::TempDir& temp, int count, std::wstring& listFile) {
    std::ifstream in(fw::ToNarrow(testing_support::StageFolder() + L"samples\\compare.html", CP_ACP), std::ios::binary);
    const std::string sample((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string heading = "<h1>One page, every engine</h1>";
    if (sample.find(heading) == std::string::npos) return false;
    std::string list;
    for (int i = 1; i <= count; ++i) {
        std::string page = sample;
        page.replace(page.find(heading), heading.size(), "<h1>Page " + std::to_string(i) + "</h1>");
        list += fw::ToNarrow(temp.WriteFile(fw::Format(L"pages\\page%02d.html", i), page), CP_UTF8) + "\n";
    }
    listFile = temp.WriteFile(L"pages.txt", list);
    return true;
}

// One run; its wall time in ms, or a negative number when it failed.
double TimedRun(const std::wstring& arguments, const std::wstring& output, DWORD expectedCode) {
    testing_support::Process p;
    const auto start = steady_clock::now();
    if (!testing_support::LaunchWithOutput(p, L"vantrell.exe", arguments, output)) return -1;
    DWORD code = 0;
    if (!p.WaitForExit(600000, &code)) return -1;
    if (code != expectedCode) std::printf("compare: exit code %lu\n", code);
    const double ms = duration<double, std::milli>(steady_clock::now() - start).count();
    return code == expectedCode ? ms : -1;
}

// Per picture, in this process on one thread: reading a captured picture,
// comparing two, making and writing a diff picture.
void PerPictureFigures(const std::wstring& folder) {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return;
    {
        const int n = 20;
        Pixels a, b;
        std::wstring error;
        double load = 0, compare = 0, diff = 0, save = 0;
        for (int i = 0; i < n; ++i) {
            auto t0 = steady_clock::now();
            if (!LoadPicture(folder + L"\\7-1.png", a, error) || !LoadPicture(folder + L"\\8-1.png", b, error)) {
                std::printf("compare: the pictures cannot be read: %s\n", fw::ToNarrow(error).c_str());
                break;
            }
            auto t1 = steady_clock::now();
            const PictureDifference d = ComparePictures(a, b, 16);
            auto t2 = steady_clock::now();
            const Pixels picture = MakeDiffPicture(b, d);
            auto t3 = steady_clock::now();
            if (!SavePicture(picture, folder + L"\\bench.diff.png", error)) {
                std::printf("compare: the diff picture cannot be written: %s\n", fw::ToNarrow(error).c_str());
                break;
            }
            auto t4 = steady_clock::now();
            load += duration<double, std::milli>(t1 - t0).count() / 2;
            compare += duration<double, std::milli>(t2 - t1).count();
            diff += duration<double, std::milli>(t3 - t2).count();
            save += duration<double, std::milli>(t4 - t3).count();
        }
        std::printf("compare:   per picture (mean of %d): read %.1f ms, compare %.1f ms, diff picture %.1f ms, "
                    "write it %.1f ms\n", n, load / n, compare / n, diff / n, save / n);
    }
    Gdiplus::GdiplusShutdown(token);
}

} // namespace

void CompareBenchmark(int runs) {
    fw::Profile profile;
    profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
    RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    testing_support::TempDir temp;
    std::wstring list;
    if (!MakePages(temp, 20, list)) {
        std::printf("compare: the sample page is not staged\n");
        return;
    }
    std::vector<double> plain, compared;
    for (int r = 0; r < runs; ++r) {
        // Alternate which goes first, so neither always runs on a warmer machine.
        for (int k = 0; k < 2; ++k) {
            const bool compare = (k == 0) == (r % 2 == 0);
            const std::wstring folder = temp.Path() + fw::Format(compare ? L"compare-%d" : L"plain-%d", r);
            // The sample page differs between these versions: a comparing
            // run fails (exit 1), a plain one passes (exit 0).
            const double ms = TimedRun(L"-capture \"" + folder + L"\" " + (compare ? L"-compare " : L"") +
                                           L"-versions 5.5,6,7,8 -list \"" + list + L"\"",
                                       temp.Path() + L"out.txt", compare ? 1 : 0);
            if (ms < 0) {
                std::printf("compare: a %s run failed; its output:\n", compare ? "comparing" : "plain");
                std::ifstream out(fw::ToNarrow(temp.Path() + L"out.txt", CP_ACP), std::ios::binary);
                std::printf("%s\n", std::string(std::istreambuf_iterator<char>(out), {}).c_str());
                return;
            }
            (compare ? compared : plain).push_back(ms);
        }
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    PerPictureFigures(temp.Path() + L"compare-0");
    const double a = Median(plain), b = Median(compared);
    std::printf("compare: 20 pages x 4 versions (80 pictures, 1024 x 768), median of %d runs\n", runs);
    std::printf("compare:   plain capture                          %8.0f ms (min %.0f, max %.0f)\n", a,
                *std::min_element(plain.begin(), plain.end()), *std::max_element(plain.begin(), plain.end()));
    std::printf("compare:   with -compare (60 comparisons, reports) %8.0f ms (min %.0f, max %.0f)\n", b,
                *std::min_element(compared.begin(), compared.end()),
                *std::max_element(compared.begin(), compared.end()));
    std::printf("compare:   added by comparing and reporting       %+8.0f ms (%+.1f%%)\n", b - a, a > 0 ? 100 * (b - a) / a : 0);
}

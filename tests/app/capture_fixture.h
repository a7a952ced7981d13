#pragma once
// What the capture tests share: running the staged program with its output
// in a file, and reading back the pictures it wrote.
#include "core/settings.h"
#include "framework/profile.h"
#include "framework/strings.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

#include <objidl.h>
#include <gdiplus.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace capture_testing {

using testing_support::LaunchWithOutput;
using testing_support::Process;
using testing_support::StageFolder;
using testing_support::TempDir;

// The boxes of the sample page's conditional comments, by colour.
enum Box : unsigned {
    kBoxIE55 = 0xF4CCCC,
    kBoxIE6 = 0xFCE5CD,
    kBoxIE7 = 0xFFF2CC,
    kBoxIE8 = 0xD9EAD3,
    kBoxIE9 = 0xCFE2F3,
    kBoxBefore7 = 0xEAD1DC,
    kBoxFrom8 = 0xD0E0E3,
};
constexpr Box kAllBoxes[] = {kBoxIE55, kBoxIE6, kBoxIE7, kBoxIE8, kBoxIE9, kBoxBefore7, kBoxFrom8};

// A PNG file read back through GDI+: its size and how many pixels have each
// colour (RGB).
struct Picture {
    bool loaded = false;
    int width = 0, height = 0;
    std::map<unsigned, int> colours;
    int Count(unsigned rgb) const {
        auto it = colours.find(rgb);
        return it == colours.end() ? 0 : it->second;
    }
};

inline Picture ReadPicture(const std::wstring& file) {
    Picture out;
    Gdiplus::Bitmap bitmap(file.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return out;
    out.width = static_cast<int>(bitmap.GetWidth());
    out.height = static_cast<int>(bitmap.GetHeight());
    Gdiplus::Rect all(0, 0, out.width, out.height);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return out;
    for (int y = 0; y < out.height; ++y) {
        auto row = reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < out.width; ++x) ++out.colours[row[x] & 0xFFFFFF];
    }
    bitmap.UnlockBits(&data);
    out.loaded = true;
    return out;
}

inline std::vector<std::string> ReadLines(const std::wstring& file) {
    std::ifstream in(fw::ToNarrow(file, CP_ACP), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&m_gdiplus, &input, nullptr), Gdiplus::Ok);
        profile.SetRegistryKey(L"Brenmoor", L"Vantrell");
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, profile.KeyPath().c_str());
        Gdiplus::GdiplusShutdown(m_gdiplus);
    }

    // Runs the staged program with `arguments`; its exit code, or -1 when it
    // had to be ended. Its printed lines go to `lines`.
    int Run(const std::wstring& arguments, std::vector<std::string>& lines) {
        const std::wstring output = temp.Path() + L"output.txt";
        Process p;
        if (!LaunchWithOutput(p, L"vantrell.exe", arguments, output)) {
            ADD_FAILURE() << "the program did not start: " << GetLastError();
            return -1;
        }
        DWORD code = 0;
        if (!p.WaitForExit(90000, &code)) {
            ADD_FAILURE() << "the program did not end";
            return -1;
        }
        lines = ReadLines(output);
        return static_cast<int>(code);
    }

    std::wstring Sample() const { return L"\"" + StageFolder() + L"samples\\compare.html\""; }

    fw::Profile profile;
    TempDir temp;
    ULONG_PTR m_gdiplus = 0;
};

} // namespace capture_testing

// The scope owners of handles.h and gdiplus_init.h: each undoes its call at
// the end of its scope, and a failed call leaves nothing to undo.
#include "framework/gdiplus_init.h"
#include "framework/handles.h"
#include "framework/window.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A window that paints through fw::PaintScope and records what it saw.
class PaintingWindow : public fw::Window {
public:
    int paints = 0;
    bool hadDC = false;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_PAINT) {
            fw::PaintScope paint(Handle());
            ++paints;
            hadDC = paint.dc() != nullptr;
            return 0;
        }
        return Window::WindowProc(message, wParam, lParam);
    }
};

TEST(Handles, APaintScopeValidatesWhatItPainted) {
    PaintingWindow window;
    ASSERT_TRUE(window.Create(0, L"fw.HandlesTestPaint", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr, nullptr));
    InvalidateRect(window.Handle(), nullptr, FALSE);
    ASSERT_TRUE(GetUpdateRect(window.Handle(), nullptr, FALSE));
    UpdateWindow(window.Handle());
    EXPECT_GE(window.paints, 1);
    EXPECT_TRUE(window.hadDC);
    // EndPaint ran: nothing is left to paint.
    EXPECT_FALSE(GetUpdateRect(window.Handle(), nullptr, FALSE));
}

TEST(Handles, ASelectionPutsBackWhatWasSelected) {
    fw::MemoryDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BRUSH);
    fw::Brush brush(CreateSolidBrush(RGB(1, 2, 3)));
    {
        fw::Selection selected(dc.get(), brush.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
}

struct LockProbe {
    fw::CriticalSection* section;
    bool entered = false;
};

// A thread's entry point: tries the probe's section (WINAPI, so that it is
// a thread procedure on x86 too).
DWORD WINAPI TryLockProbe(void* p) {
    auto* probe = static_cast<LockProbe*>(p);
    fw::TryLock attempt(*probe->section);
    probe->entered = attempt.owns();
    return 0;
}

TEST(Handles, ALockHoldsItsSectionAgainstOtherThreadsUntilItsScopeEnds) {
    fw::CriticalSection section;
    auto tryFromAnotherThread = [](fw::CriticalSection& s) {
        LockProbe probe{&s};
        HANDLE thread = CreateThread(nullptr, 0, &TryLockProbe, &probe, 0, nullptr);
        EXPECT_NE(thread, nullptr);
        if (thread) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        return probe.entered;
    };
    {
        fw::Lock lock(section);
        EXPECT_FALSE(tryFromAnotherThread(section));
    }
    EXPECT_TRUE(tryFromAnotherThread(section));
}

TEST(Handles, AFindHandleEndsItsSearch) {
    testing_support::TempDir dir;
    dir.WriteFile(L"a.txt", "x");
    WIN32_FIND_DATAW data{};
    fw::FindHandle find(FindFirstFileW((dir.Path() + L"*.txt").c_str(), &data));
    ASSERT_TRUE(find);
    EXPECT_STREQ(data.cFileName, L"a.txt");
    const HANDLE raw = find.get();
    find.reset();
    EXPECT_FALSE(find);
    // The search is closed: the old handle no longer searches.
    SetLastError(0xDEAD);
    EXPECT_FALSE(FindNextFileW(raw, &data));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));

    fw::FindHandle none(FindFirstFileW((dir.Path() + L"*.none").c_str(), &data));
    EXPECT_FALSE(none);
}

TEST(Handles, GdiplusWorksInsideItsScope) {
    fw::GdiplusInit gdiplus;
    ASSERT_TRUE(gdiplus.ok());
    Gdiplus::Bitmap bitmap(4, 4, PixelFormat32bppARGB);
    EXPECT_EQ(bitmap.GetLastStatus(), Gdiplus::Ok);
    EXPECT_EQ(bitmap.SetPixel(1, 1, Gdiplus::Color(255, 10, 20, 30)), Gdiplus::Ok);
    Gdiplus::Color color;
    ASSERT_EQ(bitmap.GetPixel(1, 1, &color), Gdiplus::Ok);
    EXPECT_EQ(color.GetR(), 10);
}

TEST(Handles, OleInitMatchesItsCallForTheThread) {
    {
        fw::OleInit ole;
        ASSERT_TRUE(ole.ok());
        // Inside the scope OLE is on: a second initialisation only counts.
        const HRESULT again = OleInitialize(nullptr);
        EXPECT_EQ(again, S_FALSE);
        OleUninitialize();
    }
}

}  // namespace

// The main frame's creation: a window that fails while it is made leaves
// no frame behind and deletes it exactly once.
#include "shell/main_frame.h"

#include "core/settings.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;

// Counts its destructions, which must happen once whatever the outcome.
class CountingFrame : public CMainFrame {
public:
    CountingFrame(const Settings& settings, int& deletions) : CMainFrame(settings, nullptr), m_deletions(deletions) {}
    ~CountingFrame() override { ++m_deletions; }

private:
    int& m_deletions;
};

// Refuses the creation of every window of one class on this thread, the
// way a system out of resources would, for the life of the object.
class RefuseWindowClass {
public:
    explicit RefuseWindowClass(const wchar_t* className) {
        s_className = className;
        m_hook = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~RefuseWindowClass() {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        s_className = nullptr;
    }
    bool active() const { return m_hook != nullptr; }
    static int refused;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND && s_className) {
            wchar_t name[64] = {};
            GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
            if (_wcsicmp(name, s_className) == 0) {
                ++refused;
                return 1;  // the window is not made
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static const wchar_t* s_className;
    HHOOK m_hook = nullptr;
};
const wchar_t* RefuseWindowClass::s_className = nullptr;
int RefuseWindowClass::refused = 0;

TEST(MainFrame, AFrameWhoseWindowFailsDuringCreationIsDeletedOnceAndNotReturned) {
    Settings settings;
    int deletions = 0;
    RefuseWindowClass noRibbon(L"fw.RibbonBar");
    ASSERT_TRUE(noRibbon.active());
    RefuseWindowClass::refused = 0;
    CMainFrame* frame = CMainFrame::Open(std::make_unique<CountingFrame>(settings, deletions), kStyle);
    EXPECT_EQ(frame, nullptr);
    EXPECT_GE(RefuseWindowClass::refused, 1) << "the ribbon's window was asked for and refused";
    EXPECT_EQ(deletions, 1);
}

TEST(MainFrame, AFrameWhoseWindowIsMadeBelongsToItsWindowUntilItIsDestroyed) {
    Settings settings;
    int deletions = 0;
    CMainFrame* frame = CMainFrame::Open(std::make_unique<CountingFrame>(settings, deletions), kStyle);
    ASSERT_NE(frame, nullptr);
    const HWND window = frame->Handle();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(deletions, 0);
    DestroyWindow(window);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(deletions, 1);
}

TEST(MainFrame, NoFrameGivesNoWindow) {
    EXPECT_EQ(CMainFrame::Open(nullptr, kStyle), nullptr);
}

}  // namespace

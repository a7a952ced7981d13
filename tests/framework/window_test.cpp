#include "framework/app.h"
#include "framework/cue_banner.h"
#include "framework/window.h"
#include "framework/wine.h"

#include <commctrl.h>

#include <gtest/gtest.h>

namespace {

class TestFrame : public fw::FrameWnd {
public:
    std::vector<UINT> commands;
    bool created = false;
    bool* destroyedFlag = nullptr;

protected:
    int OnCreate(CREATESTRUCTW*) override {
        created = true;
        return 0;
    }
    bool OnCommand(UINT id, UINT, HWND) override {
        commands.push_back(id);
        return true;
    }
    void PostNcDestroy() override {
        if (destroyedFlag) *destroyedFlag = true;
    }
};

class TestApp : public fw::WinApp {};

void PumpPending(fw::WinApp& app) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (app.PreTranslateMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

MSG KeyDown(HWND hwnd, UINT vk) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = WM_KEYDOWN;
    msg.wParam = vk;
    msg.lParam = 1;
    return msg;
}

TEST(FrameWindow, LoadsTitleIconAndAcceleratorsFromOneResourceId) {
    TestApp app;
    TestFrame frame;
    bool destroyed = false;
    frame.destroyedFlag = &destroyed;
    ASSERT_TRUE(frame.LoadFrame(128, WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(frame.created);
    EXPECT_EQ(frame.Text(), L"Vantrell");
    EXPECT_EQ(fw::Window::FromHandle(frame.Handle()), &frame);
    EXPECT_NE(reinterpret_cast<HICON>(GetClassLongPtrW(frame.Handle(), GCLP_HICON)), nullptr);

    // F5 is in the frame's table (refresh, 111); a plain letter is not.
    BYTE keys[256] = {};
    SetKeyboardState(keys);
    MSG f5 = KeyDown(frame.Handle(), VK_F5);
    EXPECT_TRUE(app.PreTranslateMessage(f5));
    MSG letter = KeyDown(frame.Handle(), 'Q');
    EXPECT_FALSE(app.PreTranslateMessage(letter));
    PumpPending(app);
    ASSERT_FALSE(frame.commands.empty());
    EXPECT_EQ(frame.commands.front(), 111u);

    frame.Destroy();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(frame.Handle(), nullptr);
    EXPECT_EQ(fw::Window::FromHandle(nullptr), nullptr);
}

TEST(FrameWindow, DestroyingTheMainWindowEndsTheMessageLoop) {
    TestApp app;
    auto frame = std::make_unique<TestFrame>();
    ASSERT_TRUE(frame->LoadFrame(128, WS_OVERLAPPEDWINDOW));
    app.SetMainWindow(frame->Handle());
    PostMessageW(frame->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(app.MainWindow(), nullptr);
    EXPECT_EQ(frame->Handle(), nullptr);
}

TEST(FrameWindow, ForeignWindowsAreNotFrameworkObjects) {
    HWND plain = CreateWindowExW(0, L"STATIC", L"x", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(fw::Window::FromHandle(plain), nullptr);
    DestroyWindow(plain);
}

} // namespace

// Under Wine the edit control's own hint frees its text from another heap
// when it is replaced and when the field goes (the program then hung or
// faulted while it closed): there the program draws the hint itself, and a
// second call replaces the first.
TEST(CueBanner, UnderWineTheFieldsHintIsTheProgramsOwnAndGoesWithTheField) {
    HWND edit = CreateWindowExW(0, L"Edit", L"", WS_POPUP | ES_AUTOHSCROLL, 0, 0, 200, 24, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    fw::SetCueBanner(edit, L"Search the web", false);
    fw::SetCueBanner(edit, L"Rechercher sur le Web", true);
    if (fw::RunningUnderWine()) {
        EXPECT_EQ(fw::DrawnCueBanner(edit), L"Rechercher sur le Web");
        wchar_t held[64] = {};
        EXPECT_FALSE(SendMessageW(edit, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(held), 64) && held[0])
            << "the edit control holds a hint of its own: " << static_cast<const void*>(held);
    }
    ShowWindow(edit, SW_SHOWNA);
    UpdateWindow(edit);
    EXPECT_TRUE(DestroyWindow(edit));
    EXPECT_EQ(fw::DrawnCueBanner(edit), L"");
}

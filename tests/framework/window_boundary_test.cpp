// Exceptions stop at the framework's window and dialog procedures: the
// message gets the defined failure answer and the program goes on.
#include "framework/window.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class ThrowingWindow : public fw::Window {
public:
    bool throwOnCreate = false;
    int handled = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE && throwOnCreate) throw std::runtime_error("creation failed");
        if (message == WM_APP) throw std::runtime_error("a handler failed");
        if (message == WM_APP + 1) {
            ++handled;
            return 42;
        }
        return Window::WindowProc(message, wParam, lParam);
    }
};

TEST(WindowBoundary, AnExceptionInAHandlerAnswersZeroAndTheWindowGoesOn) {
    ThrowingWindow window;
    ASSERT_TRUE(window.Create(0, L"fw.BoundaryTest", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(SendMessageW(window.Handle(), WM_APP, 0, 0), 0);
    EXPECT_EQ(SendMessageW(window.Handle(), WM_APP + 1, 0, 0), 42);
    EXPECT_EQ(window.handled, 1);
}

TEST(WindowBoundary, AnExceptionDuringCreationFailsTheCreation) {
    ThrowingWindow window;
    window.throwOnCreate = true;
    EXPECT_FALSE(window.Create(0, L"fw.BoundaryTest", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(window.Handle(), nullptr);
}

}  // namespace

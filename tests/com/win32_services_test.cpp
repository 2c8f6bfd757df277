#include <gtest/gtest.h>

#include <windows.h>

#include "ui/platform/win32_services.h"

namespace kw {
namespace {

struct TitledWindow {
    HWND handle;
    explicit TitledWindow(const wchar_t* title) : handle(nullptr) {
        // Under Wine the first window of a fresh prefix waits for its desktop process, which
        // another test process may be starting at that moment: ask again for a little while.
        for (int attempt = 0; attempt < 50 && handle == nullptr; ++attempt) {
            handle = CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
            if (handle == nullptr)
                Sleep(100);
        }
    }
    ~TitledWindow() { DestroyWindow(handle); }
};

TEST(Win32Services, BringsAWindowToTheFrontByItsExactTitle) {
    TitledWindow window(L"Fake CAD - [图纸.dwg]");
    ASSERT_NE(window.handle, nullptr);
    ShowWindow(window.handle, SW_MINIMIZE);
    EXPECT_TRUE(win32::BringWindowToFront("Fake CAD - [图纸.dwg]"));
    EXPECT_FALSE(IsIconic(window.handle)) << "a minimised window is restored";
    EXPECT_FALSE(win32::BringWindowToFront("Fake CAD - [图纸"));
    EXPECT_FALSE(win32::BringWindowToFront("No such window"));
}

TEST(Win32Services, TopmostWindowsTakeThePositionAndSizeGiven) {
    TitledWindow window(L"Progress");
    ASSERT_NE(window.handle, nullptr);
    ASSERT_TRUE(win32::MakeTopmost(window.handle, 40, 50, 300, 120));
    EXPECT_TRUE(GetWindowLongW(window.handle, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT rect{};
    GetWindowRect(window.handle, &rect);
    EXPECT_EQ(rect.left, 40);
    EXPECT_EQ(rect.top, 50);
    EXPECT_EQ(rect.right - rect.left, 300);
    EXPECT_EQ(rect.bottom - rect.top, 120);
}

} // namespace
} // namespace kw

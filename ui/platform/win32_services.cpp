#include "ui/platform/win32_services.h"

#include <windows.h>

#include <shellapi.h>

#include "base/text_file.h"

namespace kw::win32 {
namespace {

HWND Native(WindowHandle window) {
    return static_cast<HWND>(window);
}

} // namespace

bool BringWindowToFront(const std::string& title) {
    HWND window = FindWindowW(nullptr, WidenUtf8(title).c_str());
    if (window == nullptr) {
        return false;
    }
    if (IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
    }
    if (!SetForegroundWindow(window)) {
        // Windows lets only the foreground thread hand the foreground on; borrow its input
        // state for the moment, since our own window has just been hidden.
        const DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        const DWORD ours = GetCurrentThreadId();
        if (foreground != 0 && foreground != ours && AttachThreadInput(ours, foreground, TRUE)) {
            SetForegroundWindow(window);
            AttachThreadInput(ours, foreground, FALSE);
        }
        BringWindowToTop(window);
    }
    return true;
}

bool MakeTopmost(WindowHandle window, int left, int top, int width, int height) {
    return SetWindowPos(Native(window), HWND_TOPMOST, left, top, width, height, 0) != FALSE;
}

bool OpenAddress(WindowHandle owner, const std::string& address) {
    // Shown normally: a handler that honours the show command must not open hidden.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        Native(owner), L"open", WidenUtf8(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

bool ShowHelp(WindowHandle owner, const std::string& helpFilePath) {
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
    // The viewer stays loaded for the life of the program: its window outlives this call.
    static HMODULE viewer = LoadLibraryW(L"hhctrl.ocx");
    if (viewer == nullptr) {
        return false;
    }
    static auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(GetProcAddress(viewer, "HtmlHelpW"));
    if (htmlHelp == nullptr) {
        return false;
    }
    constexpr UINT kDisplayTopic = 0; // HH_DISPLAY_TOPIC: the file's default topic
    return htmlHelp(Native(owner), WidenUtf8(helpFilePath).c_str(), kDisplayTopic, 0) != nullptr;
}

bool AddSystemMenuItem(WindowHandle window, unsigned command, const std::string& text) {
    HMENU menu = GetSystemMenu(static_cast<HWND>(window), FALSE);
    if (menu == nullptr) {
        return false;
    }
    const std::wstring wide = WidenUtf8(text);
    return AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) &&
           AppendMenuW(menu, MF_STRING, command, wide.c_str());
}

unsigned SystemMenuCommand(const void* message) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg == nullptr || msg->message != WM_SYSCOMMAND) {
        return 0;
    }
    return static_cast<unsigned>(msg->wParam & 0xFFF0);
}

} // namespace kw::win32

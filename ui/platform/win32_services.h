#pragma once

// Window-system and desktop-shell services of the user interface on Windows, in plain Win32.
// Text is UTF-8; a window is its native handle (an HWND, as QWidget::winId() gives it).

#include <string>

namespace kw::win32 {

using WindowHandle = void*;

// Brings the top-level window whose title is exactly `title` to the front, restoring it first
// when it is minimised. False when no window has that title (the run reports Error 5 then).
bool BringWindowToFront(const std::string& title);

// Puts the window into the topmost band, above every window that is not topmost itself, and
// applies the given position and size in pixels.
bool MakeTopmost(WindowHandle window, int left, int top, int width, int height);

// Opens a web or mail address ("https://...", "mailto:...") with the desktop's default handler.
// False when no handler took it; callers ignore that, as nothing is reported to the user.
bool OpenAddress(WindowHandle owner, const std::string& address);

// Shows a compiled help file at its default topic in the system's help viewer, owned by `owner`.
// False when the viewer is missing or refused the file.
bool ShowHelp(WindowHandle owner, const std::string& helpFilePath);

// Adds a separator and an item to the window's system menu; `command` comes back as the
// WM_SYSCOMMAND of the item (a multiple of 16 below 0xF000).
bool AddSystemMenuItem(WindowHandle window, unsigned command, const std::string& text);

// The command of a WM_SYSCOMMAND message (`message` as QWidget::nativeEvent hands it), 0 for
// any other message.
unsigned SystemMenuCommand(const void* message);

} // namespace kw::win32

#pragma once

#include <functional>

namespace kw::ui {
class MainWindow;
}

namespace kw::app {

// Starts the desktop program: chooses the CAD backend, builds the main window (which shows the
// promotional windows itself) and runs the event loop. `started` runs once the main window is
// shown; the screenshot tool uses it.
int RunDesktop(int argc, char** argv, const std::function<void(ui::MainWindow&)>& started = {});

} // namespace kw::app

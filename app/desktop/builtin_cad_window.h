#pragma once

#include <QPlainTextEdit>
#include <QWidget>
#include <memory>

#include "cad/builtin/builtin_cad.h"

namespace kw::app {

// The built-in CAD's own top-level window in the desktop program. Like the host CAD's main
// window it carries the application's caption, so a run finds it by title and brings it to the
// front; it shows the CAD's command line.
class BuiltinCadWindow : public QWidget {
public:
    BuiltinCadWindow();

    // Takes the title, visibility and command line from the application.
    void Sync(builtin::BuiltinApplication& application);

private:
    QPlainTextEdit* m_commandLine;
};

// Hands out the built-in application with its window kept in step: every caption the program
// reads is the window's title at that moment.
class WindowedBuiltinBackend : public CadBackend {
public:
    explicit WindowedBuiltinBackend(builtin::BuiltinOptions options);
    ~WindowedBuiltinBackend() override;

    std::shared_ptr<CadApplication> Attach() override;
    std::shared_ptr<CadApplication> Start() override;

private:
    std::shared_ptr<CadApplication> Wrap(const std::shared_ptr<CadApplication>& started);

    builtin::BuiltinBackend m_backend;
    std::unique_ptr<BuiltinCadWindow> m_window;
    std::shared_ptr<CadApplication> m_application;
};

} // namespace kw::app

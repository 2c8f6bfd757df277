#include "app/desktop/builtin_cad_window.h"

#include <QVBoxLayout>

namespace kw::app {
namespace {

class WindowedApplication : public CadApplication {
public:
    WindowedApplication(std::shared_ptr<builtin::BuiltinApplication> application,
                        BuiltinCadWindow& window)
        : m_application(std::move(application)), m_window(window) {}

    void PutVisible(bool visible) override {
        m_application->PutVisible(visible);
        m_window.Sync(*m_application);
    }
    std::shared_ptr<CadDocument> ActiveDocument() override {
        return m_application->ActiveDocument();
    }
    std::shared_ptr<CadDocuments> Documents() override { return m_application->Documents(); }
    std::string Caption() override {
        m_window.Sync(*m_application);
        return m_application->Caption();
    }
    std::string FullName() override { return m_application->FullName(); }

private:
    std::shared_ptr<builtin::BuiltinApplication> m_application;
    BuiltinCadWindow& m_window;
};

} // namespace

BuiltinCadWindow::BuiltinCadWindow() : m_commandLine(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("BuiltinCadWindow"));
    m_commandLine->setReadOnly(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_commandLine);
    resize(720, 320);
}

void BuiltinCadWindow::Sync(builtin::BuiltinApplication& application) {
    setWindowTitle(QString::fromStdString(application.Caption()));
    QStringList lines;
    for (const auto& line : application.CommandLine())
        lines.append(QString::fromStdString(line));
    m_commandLine->setPlainText(lines.join(QLatin1Char('\n')));
    if (application.Visible() && !isVisible()) {
        // Shown behind the program's own windows, as the host CAD would be: a run brings it
        // to the front by its title when it needs it.
        setAttribute(Qt::WA_ShowWithoutActivating);
        show();
        lower();
    } else if (!application.Visible()) {
        hide();
    }
}

WindowedBuiltinBackend::WindowedBuiltinBackend(builtin::BuiltinOptions options)
    : m_backend(std::move(options)) {}

WindowedBuiltinBackend::~WindowedBuiltinBackend() = default;

std::shared_ptr<CadApplication> WindowedBuiltinBackend::Attach() {
    return Wrap(m_backend.Attach());
}

std::shared_ptr<CadApplication> WindowedBuiltinBackend::Start() {
    return Wrap(m_backend.Start());
}

std::shared_ptr<CadApplication>
WindowedBuiltinBackend::Wrap(const std::shared_ptr<CadApplication>& started) {
    if (!m_application && started) {
        m_window = std::make_unique<BuiltinCadWindow>();
        m_application = std::make_shared<WindowedApplication>(m_backend.Application(), *m_window);
    }
    return m_application;
}

} // namespace kw::app

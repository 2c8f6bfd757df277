#include "app/desktop/desktop_app.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <iostream>
#include <memory>

#include "app/desktop/no_cad_backend.h"
#include "base/paths.h"
#include "base/program_files.h"
#include "cad/cad_session.h"
#include "settings/settings_file.h"
#include "ui/main_window.h"
#include "ui/maker.h"
#include "ui/platform/desktop.h"
#include "ui/promo_window.h"
#include "ui/prompts.h"

#ifdef KW_HAVE_WEB_ENGINE
#include "ui/web_page_view.h"
#endif
#if defined(KW_HAVE_COM_CAD)
#include "com/com_backend.h"
#endif
#if defined(KW_HAVE_BUILTIN_CAD) && __has_include("builtin/builtin_cad.h")
#define KW_USE_BUILTIN_CAD

#include "builtin/builtin_cad.h"
#endif

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kw::app {

namespace {

// `output` is what the CAD offers the output options, left null when it offers nothing. The host
// CAD is driven through COM where it is installed (its ProgID registered); the built-in CAD
// stands in everywhere else.
CadBackendFactory BackendFactory(const QString& programFolder,
                                 std::shared_ptr<output::OutputLink>& output) {
#if defined(KW_HAVE_COM_CAD)
    if (HostRegistered()) {
        return ComBackendFactory();
    }
#endif
#if defined(KW_USE_BUILTIN_CAD)
    // One backend for the whole run of the program: Start makes the built-in application and
    // every later Attach finds that same one. Made visible, it shows its own window.
    builtin::BuiltinOptions options;
    options.programFolder = QDir::toNativeSeparators(programFolder).toStdString();
    options.printers = builtin::QtSystemPrinters;
    // Shape font folders: KESTRELWICK_FONTS, a list like PATH's; the Fonts folder beside the
    // program is searched after them.
    for (const QString& folder :
         qEnvironmentVariable("KESTRELWICK_FONTS").split(QDir::listSeparator(), Qt::SkipEmptyParts))
        options.fontFolders.push_back(QDir::toNativeSeparators(folder).toStdString());
    // The office's font substitutions, beside the settings file the main window uses.
    const std::string settingsPath =
        SettingsFile::Locate(options.programFolder, UserConfigFolder()).Path();
    const render::FontMapFile fontMap = render::ReadFontMap(
        Utf8FromPath(PathFromUtf8(settingsPath).parent_path() / render::kFontMapFileName));
    for (const std::string& problem : fontMap.problems)
        std::cerr << problem << std::endl;
    options.fontMap = fontMap.map;
    output = std::make_shared<output::OutputLink>();
    auto backend = std::make_shared<builtin::BuiltinBackend>(std::move(options));
    std::weak_ptr<builtin::BuiltinBackend> weakBackend = backend;
    output->activeDrawing = [weakBackend] {
        output::ActiveDrawing active;
        const auto cad = weakBackend.lock();
        if (const auto application = cad ? cad->Application() : nullptr) {
            const auto [document, path] = application->ActiveDrawing();
            active.document = document;
            active.path = path;
        }
        return active;
    };
    output->takesAnySheet = [](const std::string& device) { return device == builtin::kPdfDevice; };
    output->takeFontSubstitutions = [weakBackend] {
        const auto cad = weakBackend.lock();
        const auto application = cad ? cad->Application() : nullptr;
        return application ? application->TakeFontSubstitutions() : std::vector<std::string>();
    };
    return [backend] { return backend; };
#elif defined(KW_HAVE_COM_CAD)
    Q_UNUSED(programFolder);
    Q_UNUSED(output);
    return ComBackendFactory();
#else
    Q_UNUSED(programFolder);
    Q_UNUSED(output);
    return [] { return std::make_shared<NoCadBackend>(); };
#endif
}

ui::PageViewFactory PageViews() {
#ifdef KW_HAVE_WEB_ENGINE
    return [](QWidget* parent) -> ui::PageView* { return new ui::WebPageView(parent); };
#else
    return [](QWidget* parent) -> ui::PageView* { return new ui::TextPageView(parent); };
#endif
}

void PrepareWebEngine() {
#if defined(KW_HAVE_WEB_ENGINE) && !defined(_WIN32)
    // The browser engine refuses to run its sandbox as root (containers, build machines).
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
#endif
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace

int RunDesktop(int argc, char** argv, const std::function<void(ui::MainWindow&)>& started) {
    PrepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ui::maker::kProgramName));
    QApplication::setWindowIcon(ui::ProgramIcon());

    const QString programFolder = QApplication::applicationDirPath();
    ui::QtPrompts prompts;
    ui::DesktopShell shell;
    std::shared_ptr<output::OutputLink> output;
    CadSession session(BackendFactory(programFolder, output), [&prompts](const std::string& text) {
        prompts.Message(QApplication::activeWindow(), QString::fromUtf8(ui::maker::kProgramName),
                        QString::fromStdString(text));
    });

    const QString pagesFolder = QDir::fromNativeSeparators(QString::fromStdString(
        ProgramFilePath(programFolder.toStdString(), ui::maker::kPagesFolder)));
    const ui::PageViewFactory makeView = PageViews();

    int result = 0;
    {
        ui::MainWindow mainWindow(ui::MainWindowServices{
            session, prompts, shell, programFolder,
            [&] { ui::ShowPromotionWindows(pagesFolder, makeView, shell); }, output});
        mainWindow.show();
        if (started) {
            QTimer::singleShot(0, &mainWindow, [&] { started(mainWindow); });
        }
        result = QApplication::exec();
    }
    // The promotional windows close themselves; those still open go before the application.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<ui::PromoWindow*>(window) != nullptr) {
            delete window;
        }
    }
    return result;
}

} // namespace kw::app

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <filesystem>

#include "app/desktop/builtin_cad_window.h"
#include "cad/cad_session.h"
#include "ui/platform/desktop.h"

namespace fs = std::filesystem;

class BuiltinCadWindowTest : public QObject {
    Q_OBJECT

private:
    static QWidget* CadWindow() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String("BuiltinCadWindow"))
                return window;
        return nullptr;
    }

private slots:
    void RunsFindTheBuiltinCadWindowByItsCaption() {
        const fs::path program = fs::temp_directory_path() / "kw_cad_window_test";
        fs::create_directories(program / "TEMPLATE");
        fs::copy_file(KW_CAD_TEMPLATE, program / "TEMPLATE" / "acad.dwt",
                      fs::copy_options::overwrite_existing);
        kw::builtin::BuiltinOptions options;
        options.programFolder = program.string();
        options.printers = [] { return std::vector<kw::builtin::SystemPrinter>{}; };
        auto backend = std::make_shared<kw::app::WindowedBuiltinBackend>(options);
        kw::CadSession session([backend] { return backend; }, [](const std::string&) {});

        QVERIFY(CadWindow() == nullptr);
        session.Connect(); // starts the CAD and makes it visible
        QWidget* window = CadWindow();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());

        auto application = session.Application();
        application->Documents()->Open(std::string(KW_DRAWING_TESTDATA) +
                                       "/frames/frames_r2018_utf8.dxf");
        const std::string caption = application->Caption();
        QVERIFY(caption.find("frames_r2018_utf8.dxf") != std::string::npos);
        QCOMPARE(window->windowTitle(), QString::fromStdString(caption));
        kw::ui::BringWindowToFront(caption); // throws Error 5 when no window has the title

        application->Documents()->Open(std::string(KW_DRAWING_TESTDATA) +
                                       "/frames/frames_abc_r2010.dxf");
        const std::string second = application->Caption();
        QVERIFY(second != caption);
        QCOMPARE(window->windowTitle(), QString::fromStdString(second));
        QVERIFY_EXCEPTION_THROWN(kw::ui::BringWindowToFront(caption), kw::Error);
        fs::remove_all(program);
    }
};

QTEST_MAIN(BuiltinCadWindowTest)
#include "builtin_cad_window_test.moc"

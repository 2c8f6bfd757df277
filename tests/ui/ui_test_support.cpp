#include "tests/ui/ui_test_support.h"

#include <QFile>

#include "base/text_file.h"

namespace kw::test {

void ScriptedPrompts::Error(QWidget* parent, const QString& text) {
    errors.append(text);
    errorOwners.push_back(parent);
}

void ScriptedPrompts::Message(QWidget*, const QString& caption, const QString& text) {
    messages.append(caption + QLatin1Char('|') + text);
}

std::optional<QStringList> ScriptedPrompts::OpenFiles(QWidget*, const QString& title,
                                                      const QStringList& filters) {
    openTitles.append(title);
    openFilters = filters;
    if (openAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedPrompts::ChooseFile(QWidget*, ui::FileDialogKind kind,
                                                   const QString& title, const QStringList& filters,
                                                   const QString& fileName) {
    fileCalls.push_back({kind, title, filters, fileName});
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

MainWindowFixture::MainWindowFixture(CadScript script, std::function<void()> showPromotions)
    : m_script(std::move(script)), m_showPromotions(std::move(showPromotions)) {
    cad = std::make_shared<SubstituteCad>(m_script);
    session = std::make_unique<CadSession>(
        [this] { return cad; },
        [this](const std::string& text) { connectMessages.append(QString::fromStdString(text)); });
}

MainWindowFixture::~MainWindowFixture() {
    window.reset();
}

ui::MainWindow& MainWindowFixture::Open() {
    window = std::make_unique<ui::MainWindow>(
        ui::MainWindowServices{*session, prompts, shell, folder.path(), m_showPromotions});
    return *window;
}

void WriteLines(const QString& path, const QStringList& lines) {
    std::vector<std::string> text;
    for (const QString& line : lines) {
        text.push_back(line.toStdString());
    }
    WriteTextLines(path.toStdString(), text);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

} // namespace kw::test

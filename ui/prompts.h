#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

class QWidget;

namespace kw::ui {

enum class FileDialogKind { Open, Save };

// The message boxes and file dialogs of the windows. Tests answer them through a scripted
// implementation; the program uses QtPrompts.
class Prompts {
public:
    virtual ~Prompts() = default;
    // Critical icon, OK, caption "错误".
    virtual void Error(QWidget* parent, const QString& text) = 0;
    // OK only, no icon.
    virtual void Message(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A multi-selection open dialog; nullopt when cancelled.
    virtual std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                                 const QStringList& filters) = 0;
    // A single-file dialog opening with `fileName` filled in; nullopt when cancelled.
    virtual std::optional<QString> ChooseFile(QWidget* parent, FileDialogKind kind,
                                              const QString& title, const QStringList& filters,
                                              const QString& fileName) = 0;
};

class QtPrompts : public Prompts {
public:
    void Error(QWidget* parent, const QString& text) override;
    void Message(QWidget* parent, const QString& caption, const QString& text) override;
    std::optional<QStringList> OpenFiles(QWidget* parent, const QString& title,
                                         const QStringList& filters) override;
    std::optional<QString> ChooseFile(QWidget* parent, FileDialogKind kind, const QString& title,
                                      const QStringList& filters, const QString& fileName) override;
};

inline constexpr const char* kErrorCaption = "错误";

// A file-dialog filter written as "description|pattern|description|pattern" to the entries a Qt
// dialog takes. A description that already shows its pattern in brackets is kept as it is.
QStringList DialogFilters(const std::string& filter);

// The chosen files as the multi-selection dialog reports them: one file as its full path; several
// as their folder followed by each name, separated by NUL characters.
std::string DialogResultText(const QStringList& files);

} // namespace kw::ui

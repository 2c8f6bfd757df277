#pragma once

#include <QTextBrowser>
#include <QUrl>
#include <functional>

class QWidget;

namespace kw::ui {

// The web-page view of a promotional window. The widget is owned by its parent.
class PageView {
public:
    virtual ~PageView() = default;
    virtual QWidget* Widget() = 0;
    virtual void Navigate(const QUrl& address) = 0;
};

// Makes the page view of a window; the program passes the web engine's, tests a plain one.
using PageViewFactory = std::function<PageView*(QWidget* parent)>;

// A page view without a browser engine: shows the page's text and follows no scripts. Used
// where the web engine is not built.
class TextPageView : public QTextBrowser, public PageView {
public:
    explicit TextPageView(QWidget* parent);
    QWidget* Widget() override { return this; }
    void Navigate(const QUrl& address) override;
};

} // namespace kw::ui

#pragma once

#include <QWebEngineView>

#include "ui/page_view.h"

namespace kw::ui {

// The promotional page in the web engine. Its own frame and scroll bars fall outside the window,
// which the view overhangs on every side.
class WebPageView : public QWebEngineView, public PageView {
public:
    explicit WebPageView(QWidget* parent);
    QWidget* Widget() override { return this; }
    void Navigate(const QUrl& address) override;
};

} // namespace kw::ui

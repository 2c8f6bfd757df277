#include "ui/web_page_view.h"

#include <QWebEngineSettings>

namespace kw::ui {

WebPageView::WebPageView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
}

void WebPageView::Navigate(const QUrl& address) {
    load(address);
}

} // namespace kw::ui

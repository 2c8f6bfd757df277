#include "ui/page_view.h"

namespace kw::ui {

TextPageView::TextPageView(QWidget* parent) : QTextBrowser(parent) {
    setOpenExternalLinks(true);
    setFrameShape(QFrame::NoFrame);
}

void TextPageView::Navigate(const QUrl& address) {
    if (address.isLocalFile()) {
        setSource(address);
    } else {
        setHtml(QStringLiteral("<p><a href=\"%1\">%1</a></p>").arg(address.toString()));
    }
}

} // namespace kw::ui

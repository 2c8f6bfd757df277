#include "builtin/plot_devices.h"

#include <QPageSize>
#include <QPrinterInfo>

namespace kw::builtin {

std::vector<SystemPrinter> QtSystemPrinters() {
    std::vector<SystemPrinter> printers;
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters()) {
        SystemPrinter printer;
        printer.name = info.printerName().toStdString();
        for (const QPageSize& size : info.supportedPageSizes()) {
            const QSizeF mm = size.size(QPageSize::Millimeter);
            printer.sheetsMm.emplace_back(mm.width(), mm.height());
        }
        printers.push_back(std::move(printer));
    }
    return printers;
}

} // namespace kw::builtin

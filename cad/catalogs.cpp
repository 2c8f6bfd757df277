#include "cad/catalogs.h"

#include "cad/messages.h"

namespace kw {

void PaperTable::Store(int position, PaperEntry entry) {
    if (position < 1 || position > kCapacity)
        throw Error(errors::kSubscriptOutOfRange, "Subscript out of range");
    if (static_cast<std::size_t>(position) > m_entries.size())
        m_entries.resize(static_cast<std::size_t>(position));
    m_entries[static_cast<std::size_t>(position - 1)] = std::move(entry);
}

const PaperEntry& PaperTable::Entry(int position) const {
    if (position < 1 || static_cast<std::size_t>(position) > m_entries.size())
        throw Error(errors::kSubscriptOutOfRange, "Subscript out of range");
    return m_entries[static_cast<std::size_t>(position - 1)];
}

std::string PaperTable::CanonicalName(const std::string& paperText) const {
    const std::size_t count =
        std::min<std::size_t>(m_paperCount < 0 ? 0 : m_paperCount, m_entries.size());
    for (std::size_t i = 0; i < count; ++i)
        if (m_entries[i].displayName == paperText)
            return m_entries[i].canonicalName;
    return paperText;
}

namespace {

void FillCatalogs(CadApplication& application, CatalogView& view) {
    view.ClearList(CatalogList::Printers);
    view.ClearList(CatalogList::Papers);
    view.ClearList(CatalogList::StyleTables);

    auto layout = application.ActiveDocument()->ModelSpace()->Layout();
    layout->RefreshPlotDeviceInfo();
    for (const auto& name : layout->GetPlotDeviceNames())
        view.AddToList(CatalogList::Printers, name);

    layout = application.ActiveDocument()->ModelSpace()->Layout();
    layout->RefreshPlotDeviceInfo();
    for (const auto& name : layout->GetCanonicalMediaNames())
        view.AddToList(CatalogList::Papers, name);
    for (const auto& name : layout->GetPlotStyleTableNames())
        view.AddToList(CatalogList::StyleTables, name);

    view.EnableRunCommands();
    application.ActiveDocument()->SendCommand("BACKGROUNDPLOT\r0\r");
}

} // namespace

void GetPrinterList(CadSession& session, CatalogView& view) {
    session.Connect();
    try {
        FillCatalogs(*session.Application(), view);
    } catch (const Error& failure) {
        if (failure.Number() == errors::kMemberNotFound) {
            view.ShowError(kOldReleaseMessage);
            return;
        }
        // Usually no drawing is open: make one and read the catalogs from it.
        try {
            auto application = session.Application();
            application->Documents()->Add();
            FillCatalogs(*application, view);
        } catch (const Error& second) {
            view.ShowError(MessageForError(second.Number()));
        }
    }
}

void ChoosePrinter(CadSession& session, CatalogView& view, PaperTable& papers,
                   const PrinterTable& printers) {
    session.Connect();
    try {
        auto application = session.Application();
        const std::string printerName = view.PrinterText();
        application->ActiveDocument()->ActiveLayout()->PutConfigName(printerName);

        auto document = application->ActiveDocument();
        auto space = document->ActiveSpace() == 1 ? document->ModelSpace() : document->PaperSpace();
        auto layout = space->Layout();
        layout->RefreshPlotDeviceInfo();
        const std::vector<std::string> names = layout->GetCanonicalMediaNames();

        view.ClearList(CatalogList::Papers);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string displayName = layout->GetLocaleMediaName(names[i]);
            view.AddToList(CatalogList::Papers, displayName);
            papers.Store(static_cast<int>(i) + 1, {names[i], displayName});
        }
        papers.SetPaperCount(static_cast<std::int16_t>(names.size()));

        if (const auto position = FindPrinterRecord(printers, printerName)) {
            const PrinterRecord& record = printers.records[static_cast<std::size_t>(*position - 1)];
            view.SetOffsets(record.offsetX, record.offsetY);
            view.SetPortrait(PortraitFromFlag(record.portraitFlag));
        }
    } catch (const std::exception&) {
        view.ShowError(kPrinterSettingsMessage);
    }
}

} // namespace kw

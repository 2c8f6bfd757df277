// libFuzzer target of the settings file (Kestrelwick.ini: five values, printer records, output
// option groups): any bytes read as settings or as the defaults, never a crash, a hang or a
// leak; what a run then writes reads back as what it wrote, with the run's printer stored.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "base/error.h"
#include "fuzz_support.h"
#include "settings/settings_file.h"

namespace {

bool SameRecords(const kw::PrinterTable& a, const kw::PrinterTable& b) {
    if (a.records.size() != b.records.size())
        return false;
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        const kw::PrinterRecord& x = a.records[i];
        const kw::PrinterRecord& y = b.records[i];
        if (x.printerName != y.printerName || x.offsetX != y.offsetX || x.offsetY != y.offsetY ||
            x.portraitFlag != y.portraitFlag)
            return false;
    }
    return true;
}

bool SameValues(const kw::StoredSettings& a, const kw::StoredSettings& b) {
    return a.frameLength == b.frameLength && a.pointAllowance == b.pointAllowance &&
           a.frameLayer == b.frameLayer && a.blockName == b.blockName && a.xrefName == b.xrefName;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::filesystem::remove(kw::fuzz::WorkFolder() / "Kestrelwick.ini.bak");
    const std::string path = kw::fuzz::WriteInput("Kestrelwick.ini", data, size);
    kw::SettingsFile file(path);
    kw::StoredSettings values;
    kw::PrinterTable printers;
    (void)file.Read(values, printers);
    kw::fuzz::Require(printers.records.size() <= kw::PrinterTable::kCapacity,
                      "no more printers than the table holds");
    const kw::CurrentPrinter current{"PDF 打印机", "1.5", "-2", true};
    try {
        file.Write(values, printers, current);
    } catch (const kw::Error&) {
        kw::fuzz::Require(false, "the settings that were read can be written");
    }
    kw::SettingsFile again(path);
    kw::StoredSettings valuesAgain;
    kw::PrinterTable printersAgain;
    kw::fuzz::Require(again.Read(valuesAgain, printersAgain), "a written file reads back");
    kw::fuzz::Require(SameValues(values, valuesAgain), "the five values read back");
    kw::fuzz::Require(SameRecords(printers, printersAgain), "the printer records read back");
    kw::fuzz::Require(again.OutputSection() == file.OutputSection(),
                      "the output options read back");
    const auto position = kw::FindPrinterRecord(printersAgain, current.printerName);
    kw::fuzz::Require(position.has_value() || printersAgain.records.size() == 100,
                      "the run's printer is stored while there is room");
    return 0;
}

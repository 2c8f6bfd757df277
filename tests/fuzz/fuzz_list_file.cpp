// libFuzzer target of the list file (one drawing per line, GBK or UTF-8): any bytes read as lines,
// never a crash, a hang or a leak, and the drawing list they make saves to a file that reads back
// as the same list.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "fuzz_support.h"
#include "settings/drawing_list.h"
#include "settings/list_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = kw::fuzz::WriteInput("list.txt", data, size);
    const std::string copy = (kw::fuzz::WorkFolder() / "copy.txt").string();
    kw::DrawingList list;
    bool read = false;
    kw::ListFileUi ui;
    std::string shown;
    ui.choosePath = [&](const std::string&) { return read ? copy : path; };
    ui.showError = [&](const std::string& text) { shown = text; };
    kw::LoadListFile(list, ui);
    if (!shown.empty())
        return 0; // a list longer than the drawing list holds is refused whole
    read = true;
    kw::SaveListFile(list, ui);
    kw::fuzz::Require(shown.empty(), "a list that was read can be saved");
    kw::fuzz::Require(kw::ReadListFile(copy) == list.Entries(),
                      "a saved list reads back as the same lines");
    return 0;
}

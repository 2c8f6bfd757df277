// libFuzzer target of the title-block field definitions (TitleFields.ini beside the settings
// file): any bytes give definitions or Error 13 naming the file, never a crash, a hang or a
// leak; definitions that read are used to read the fields of a drawing of five title blocks.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/error.h"
#include "drawing/drawing.h"
#include "fuzz_support.h"
#include "output/title_fields.h"
#include "tests/output/sheet_drawing.h"

namespace {

const kw::drawing::Document& Sheets() {
    static const std::unique_ptr<const kw::drawing::Document> document = [] {
        const std::string path = (kw::fuzz::WorkFolder() / "sheets.dxf").string();
        kw::test::MeasuredDrawing().Write(path);
        return std::make_unique<const kw::drawing::Document>(kw::drawing::LoadDrawing(path));
    }();
    return *document;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kw::drawing::Document& sheets = Sheets();
    const std::filesystem::path folder = kw::fuzz::WorkFolder() / "fields";
    std::filesystem::create_directories(folder);
    (void)kw::fuzz::WriteInput("fields/TitleFields.ini", data, size);
    try {
        kw::output::FieldDefinitions definitions =
            kw::output::LoadFieldDefinitions(folder.string());
        const kw::output::TitleBlockReader reader(sheets, std::move(definitions));
        const double scales[] = {1, 100, 50};
        const double sizes[][2] = {{420, 297}, {841, 594}, {1051, 594}};
        double x = 0;
        for (int i = 0; i < 3; ++i) {
            const kw::output::FrameBox frame{x, 0, x + sizes[i][0] * scales[i],
                                             sizes[i][1] * scales[i]};
            (void)reader.Read(frame, scales[i]);
            x = frame.xMax + 100000;
        }
    } catch (const kw::Error& error) {
        kw::fuzz::Require(error.Number() == kw::errors::kTypeMismatch,
                          "a malformed definitions file fails with Error 13");
    }
    return 0;
}

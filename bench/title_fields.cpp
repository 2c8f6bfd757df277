// title_fields: time to read the title-block fields of many frames. Writes a drawing of N frames
// (default 500; A1 at 1:100, title blocks alternately attributes, text in regions and labelled
// text), loads it, then times indexing the drawing and reading every frame's fields.
//
//   bench_title_fields [FRAMES] [FOLDER]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drawing/drawing.h"
#include "output/title_fields.h"
#include "tests/output/sheet_drawing.h"

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 500;
    const std::filesystem::path folder =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    kw::test::SheetDrawing drawing;
    std::vector<kw::output::FrameBox> frames;
    for (int i = 0; i < count; ++i) {
        kw::test::SheetFrame frame;
        frame.unitsPerMm = 100;
        frame.x = (i % 25) * 100000.0;
        frame.y = (i / 25) * 70000.0;
        frame.width = 84100;
        frame.height = 59400;
        frame.attributes = i % 3 == 0;
        frame.labelled = i % 3 == 2;
        frame.number = "S-" + std::to_string(i + 1);
        frame.title = "平面图" + std::to_string(i + 1);
        drawing.Add(frame);
        frames.push_back({frame.x, frame.y, frame.x + frame.width, frame.y + frame.height});
    }
    const std::string path = (folder / "bench_title_fields.dxf").string();
    drawing.Write(path);

    using Clock = std::chrono::steady_clock;
    const auto loadStart = Clock::now();
    const kw::drawing::Document document = kw::drawing::LoadDrawing(path);
    const double loadMs =
        std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();

    std::vector<double> runs;
    int found = 0;
    for (int run = 0; run < 7; ++run) {
        const auto start = Clock::now();
        const kw::output::TitleBlockReader reader(document, kw::output::DefaultFieldDefinitions());
        found = 0;
        for (const auto& frame : frames) {
            const auto fields = reader.Read(frame, 100);
            found += fields.count("图号") && fields.count("图名") ? 1 : 0;
        }
        runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    std::printf("frames %d, both fields read in %d; drawing %.0f KB loaded in %.1f ms\n", count,
                found, std::filesystem::file_size(path) / 1024.0, loadMs);
    std::printf("index + read all fields: median %.2f ms, best %.2f ms (%.1f us per frame)\n",
                runs[runs.size() / 2], runs.front(), runs[runs.size() / 2] * 1000.0 / count);
    std::filesystem::remove(path);
    return found == count ? 0 : 1;
}

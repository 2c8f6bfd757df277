// Writes the seed inputs of the fuzz targets whose files the test data has none of (shape fonts,
// plot style tables, run logs, settings, list and field definition files), each made by this
// program's own writers or after the file formats, into OUT/<target>/; and the proxy graphics
// streams of the DXF drawings given.
//
//   fuzz_seeds OUT [DRAWING.dxf ...]

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "batch/run_log.h"
#include "drawing/drawing.h"
#include "output/title_fields.h"
#include "settings/drawing_list.h"
#include "settings/list_file.h"
#include "settings/settings_file.h"
#include "tests/render/style_table_files.h"

namespace {

namespace fs = std::filesystem;
using Shapes = std::vector<std::pair<std::uint16_t, std::string>>;

std::string B(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(static_cast<unsigned char>(v & 0xFF));
    return out;
}

std::string Name(const char* name) {
    return std::string(name) + '\0';
}

void U16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void U32(std::string& out, std::uint32_t v) {
    U16(out, v & 0xFFFF);
    U16(out, v >> 16);
}

std::string RegularFont(const Shapes& shapes) {
    std::string out = "AutoCAD-86 shapes 1.0\r\n\x1A";
    U16(out, 0);
    U16(out, shapes.empty() ? 0 : shapes.back().first);
    U16(out, static_cast<unsigned>(shapes.size()));
    for (const auto& [code, bytes] : shapes) {
        U16(out, code);
        U16(out, static_cast<unsigned>(bytes.size()));
    }
    for (const auto& shape : shapes)
        out += shape.second;
    return out;
}

std::string Unifont(const std::string& info, const Shapes& shapes) {
    std::string out = "AutoCAD-86 unifont 1.0\r\n\x1A";
    U32(out, static_cast<std::uint32_t>(shapes.size() + 1));
    U16(out, static_cast<unsigned>(info.size()));
    out += info;
    for (const auto& [code, bytes] : shapes) {
        U16(out, code);
        U16(out, static_cast<unsigned>(bytes.size()));
        out += bytes;
    }
    return out;
}

std::string BigFont(const Shapes& shapes) {
    std::string out = "AutoCAD-86 bigfont 1.0\r\n\x1A";
    U16(out, static_cast<unsigned>(shapes.size()));
    U16(out, static_cast<unsigned>(shapes.size()));
    U16(out, 1);
    U16(out, 0x81);
    U16(out, 0xFE);
    std::uint32_t offset = static_cast<std::uint32_t>(out.size() + 8 * shapes.size());
    for (const auto& [code, bytes] : shapes) {
        U16(out, code);
        U16(out, static_cast<unsigned>(bytes.size()));
        U32(out, offset);
        offset += static_cast<std::uint32_t>(bytes.size());
    }
    for (const auto& shape : shapes)
        out += shape.second;
    return out;
}

// Shapes that use every kind of instruction: vectors, pen up and down, scale, the position
// stack, subshapes, octant and fractional arcs, bulges, X-Y moves, vertical-only parts.
Shapes RichShapes() {
    return {
        {'A', Name("A") + B({0x34, 2, 0x20, 1, 8, 2, -3, 2, 8, 2, 0, 0})},
        {'B', Name("B") + B({4, 2, 0x12, 5, 0x10, 6, 3, 2, 0x1C, 14, 8, 10, 10, 2, 8, 3, -1, 0})},
        {'C', Name("C") + B({7, 'A', 1, 10, 2, 0x04, 2, 8, 2, 0, 0})},
        {'D', Name("D") + B({12, 4, 0, 127, 13, 0, 4, -127, 0, 0, 2, 8, 6, -4, 0})},
        {'E', Name("E") + B({11, 0, 0, 0, 3, 0x02, 9, 1, 1, 1, -1, 0, 0, 0})},
        {'F', Name("F") + B({11, 128, 128, 0, 4, 0x12, 0})},
        {'G', Name("G") + B({10, 2, -0x04, 0})},
    };
}

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

void Fonts(const fs::path& out) {
    Shapes regular = RichShapes();
    regular.insert(regular.begin(), {0, Name("seed font") + B({6, 2, 0, 0})});
    Write(out / "txt.shx", RegularFont(regular));
    Write(out / "uni.shx", Unifont(Name("uni") + B({10, 3, 0, 0, 0, 0}), RichShapes()));
    Write(out / "gbcbig.shx", BigFont({{0, Name("big") + B({8, 0, 0, 8, 0})},
                                       {0xD6D0, Name("zhong") + B({0x48, 0x4C, 0x40, 0})},
                                       {0xCEC4, Name("wen") + B({7, 0xD6, 0xD0, 0x10, 0})}}));
}

void StyleTables(const fs::path& out) {
    const std::string ctb = kw::test::BlueAci1Text();
    Write(out / "blue.ctb", kw::test::CompressedTable("CTBVER1", ctb));
    Write(out / "plain.ctb", "PIAFILEVERSION_2.0,CTBVER1,compress\r\n" + ctb);
    const std::string stb = "description=\"named\n"
                            "aci_table_available=FALSE\n"
                            "scale_factor=1.0\n"
                            "apply_factor=TRUE\n"
                            "plot_style{\n"
                            " 0{\n  name=\"Normal\n  color=-1\n  lineweight=255\n }\n"
                            " 1{\n  name=\"Heavy\n  color=-16776961\n  screen=80\n"
                            "  lineweight=13\n  end_style=1\n  join_style=2\n }\n"
                            "}\n"
                            "custom_lineweight_table{\n 0=0.0\n 1=0.05\n 2=0.09\n 13=0.5\n}\n";
    Write(out / "named.stb", kw::test::CompressedTable("STBVER1", stb));
}

void RunLogs(const fs::path& out) {
    kw::PageRecord plotted;
    plotted.drawing = "/plans/一层.dxf";
    plotted.page = 1;
    plotted.frame = kw::FrameExtent{0, 0, 420, 297};
    plotted.device = "DWG To PDF.pc3";
    plotted.paper = "ISO_full_bleed_A3_(420.00_x_297.00_MM)";
    plotted.outputFile = "/out/一层-001.pdf";
    plotted.seconds = 0.25;
    plotted.finishedAt = "2026-01-02T03:04:05Z";
    kw::PageRecord failed = plotted;
    failed.page = 2;
    failed.status = kw::PageStatus::Failed;
    failed.errorNumber = -2145320885;
    failed.error = "打印失败\t\"quoted\"";
    failed.note = "no standard sheet";
    kw::PageRecord whole;
    whole.drawing = "C:\\plans\\b.dxf";
    whole.status = kw::PageStatus::Failed;
    whole.errorNumber = 53;
    std::string log;
    for (const auto& record : {plotted, failed, whole})
        log += kw::RecordToJson(record) + "\n";
    Write(out / "three.jsonl", log);
    Write(out / "one.jsonl", kw::RecordToJson(plotted) + "\r\n\r\n");
}

void Settings(const fs::path& out) {
    fs::create_directories(out);
    kw::SettingsFile file((out / "Kestrelwick.ini").string());
    file.SetOutputSection({{"merge", "True"}, {"names", "{图号}-{图名}"}});
    kw::PrinterTable printers;
    printers.records.push_back({"HP LaserJet", "0.5", "-1", "False"});
    file.Write(kw::StoredSettings{}, printers, {"DWG To PDF.pc3", "0", "0", true});
}

void Lists(const fs::path& out) {
    kw::DrawingList list;
    for (const char* path : {"D:\\图纸\\一层平面.dwg", "/plans/a.dxf", "b.DWG"})
        list.Add(path);
    fs::create_directories(out);
    kw::WriteListFile((out / "list.txt").string(), list);
    Write(out / "utf8.txt", "\xEF\xBB\xBF/plans/中文.dxf\n/plans/b.dxf");
}

} // namespace

// The proxy graphics of every custom object of the drawings: the 310 chunks after their size.
void ProxyStreams(const fs::path& folder, int count, char** drawings) {
    int written = 0;
    for (int i = 0; i < count; ++i) {
        kw::drawing::Document document;
        try {
            document = kw::drawing::LoadDrawing(drawings[i]);
        } catch (const kw::drawing::DxfError&) {
            continue;
        }
        for (const kw::drawing::Block& block : document.blocks)
            for (const kw::drawing::Entity& e : block.entities) {
                const auto* opaque = std::get_if<kw::drawing::OpaqueGeometry>(&e.geometry);
                if (!opaque || !opaque->proxy)
                    continue;
                const auto tags = kw::drawing::EntityTags(document, e);
                std::string bytes;
                for (std::size_t t = 0; t + 1 < tags.size() && bytes.empty(); ++t) {
                    if ((tags[t].code != 92 && tags[t].code != 160) || tags[t + 1].code != 310)
                        continue;
                    for (std::size_t k = t + 1; k < tags.size() && tags[k].code == 310; ++k)
                        for (std::size_t h = 0; h + 1 < tags[k].value.size(); h += 2)
                            bytes += static_cast<char>(
                                std::stoi(tags[k].value.substr(h, 2), nullptr, 16));
                }
                if (!bytes.empty())
                    Write(folder / ("stream" + std::to_string(++written) + ".bin"), bytes);
            }
    }
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: fuzz_seeds OUT [DRAWING.dxf ...]\n";
        return 2;
    }
    const fs::path out = argv[1];
    Fonts(out / "fuzz_shx_font");
    StyleTables(out / "fuzz_plot_style_table");
    RunLogs(out / "fuzz_run_log");
    Settings(out / "fuzz_settings_file");
    Lists(out / "fuzz_list_file");
    Write(out / "fuzz_title_fields" / "TitleFields.ini", kw::output::DefaultDefinitionsText());
    ProxyStreams(out / "fuzz_proxy_graphics", argc - 2, argv + 2);
    return 0;
}

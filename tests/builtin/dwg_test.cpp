// DWG drawings in the built-in CAD: converted by dwg2dxf/kw-dwg2dxf.mjs (LibreDWG) into a cache,
// checked against the DXF twins of ../shared/testdata, and every way the conversion can fail.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "builtin/builtin_cad.h"
#include "builtin/dwg_conversion.h"
#include "drawing/dxf_io.h"
#include "drawing/extents.h"
#include "engine/frames.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

// Normalised as the CAD normalises the paths it opens, so that messages can be searched for them.
const fs::path kSharedData = fs::path(KW_SHARED_TESTDATA).lexically_normal();
const fs::path kLibreDwgData = kSharedData / "libredwg" / "test" / "test-data";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

void WriteScript(const fs::path& path, const std::string& text) {
    WriteBytes(path, "#!/bin/sh\n" + text + "\n");
    fs::permissions(path, fs::perms::owner_all);
}

std::size_t FileCount(const fs::path& folder) {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; ++it) {
        ++count;
    }
    return count;
}

// The frames of a drawing, or the failure that ended the search: twins must agree on either.
struct FrameOutcome {
    std::vector<FrameExtent> frames;
    std::string failure;
};

FrameOutcome FindAllFrames(CadDocument& document, FrameKind kind) {
    PlotSettings settings;
    settings.frameKind = kind;
    settings.frameLayer = "*";
    settings.blockName = "*";
    FrameOutcome outcome;
    try {
        outcome.frames = FindFrames(document, settings);
    } catch (const CadError& failure) {
        outcome.failure = failure.Description();
    }
    return outcome;
}

// A DXF writer prints a double with 15 to 17 digits, so the last one may differ.
bool SameFrames(const FrameOutcome& a, const FrameOutcome& b) {
    if (a.failure != b.failure || a.frames.size() != b.frames.size()) {
        return false;
    }
    auto near = [](double x, double y) { return std::abs(x - y) <= 1e-9 * (std::abs(x) + 1.0); };
    for (std::size_t i = 0; i < a.frames.size(); ++i) {
        const FrameExtent& p = a.frames[i];
        const FrameExtent& q = b.frames[i];
        if (!near(p.xMin, q.xMin) || !near(p.yMin, q.yMin) || !near(p.xMax, q.xMax) ||
            !near(p.yMax, q.yMax)) {
            return false;
        }
    }
    return true;
}

// Entities per layout and type; layout names compared without letter case ("MODEL", "Model").
std::map<std::string, int> EntityCounts(const drawing::Document& document) {
    std::map<std::string, int> counts;
    for (const auto& layout : document.layouts) {
        const std::string name = layout.isModel ? "Model" : layout.name;
        for (const auto& entity : document.LayoutEntities(layout)) {
            ++counts[name + " " + std::string(entity.DxfName())];
        }
    }
    return counts;
}

// Each layer's visibility and colour by name: a layer off in the DWG must stay off, and only
// those.
std::map<std::string, std::string> LayerStates(const drawing::Document& document) {
    std::map<std::string, std::string> states;
    for (const auto& layer : document.layers) {
        states[layer.name] = std::string(layer.on ? "on" : "off") +
                             (layer.Frozen() ? " frozen " : " ") + std::to_string(layer.color);
    }
    return states;
}

class Dwg : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kLibreDwgData)) {
            GTEST_SKIP() << kLibreDwgData << " is not there";
        }
        std::random_device random;
        m_root = fs::temp_directory_path() / ("kw_dwg_" + std::to_string(random()));
        fs::create_directories(m_root / "work");
        options.programFolder = (m_root / "program").string();
        options.printers = [] { return std::vector<SystemPrinter>{}; };
        options.dwg.script = KW_DWG2DXF_SCRIPT;
        options.dwg.cacheFolder = (m_root / "cache").string();
        options.dwg.timeLimitSeconds = 120;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }

    std::shared_ptr<BuiltinApplication> App() {
        return std::make_shared<BuiltinApplication>(options);
    }

    fs::path Work(const std::string& name) const { return m_root / "work" / name; }

    // The CadError of opening `path`; fails the test when it opens.
    CadError OpenFailure(const fs::path& path) {
        try {
            App()->Documents()->Open(path.string());
        } catch (const CadError& failure) {
            return failure;
        }
        ADD_FAILURE() << path << " opened";
        return CadError(0, "");
    }

    BuiltinOptions options;
    fs::path m_root;
};

TEST_F(Dwg, OpenConvertsOnceAndKeepsTheDwgAsTheDrawingsName) {
    const fs::path dwg = kLibreDwgData / "example_2000.dwg";
    const std::string before = ReadBytes(dwg);
    auto app = App();
    auto document = app->Documents()->Open(dwg.string());
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [example_2000.dwg]");
    EXPECT_EQ(FileCount(options.dwg.cacheFolder), 1u);
    document->Close(false);

    // Unchanged content is not converted again: with no converter at all it still opens.
    options.dwg.node = (m_root / "no-node").string();
    auto second = App();
    second->Documents()->Open(dwg.string());
    EXPECT_EQ(second->Caption(), "Kestrelwick CAD - [example_2000.dwg]");
    EXPECT_EQ(FileCount(options.dwg.cacheFolder), 1u);

    // The cache is keyed by content, not by name: a copy under another name (upper-case
    // extension too) is the same drawing, an edited copy is not.
    fs::copy_file(dwg, Work("COPY.DWG"));
    second->Documents()->Open(Work("COPY.DWG").string());
    EXPECT_EQ(second->Caption(), "Kestrelwick CAD - [COPY.DWG]");
    std::string edited = before;
    edited[edited.size() - 1] ^= 0x55;
    WriteBytes(Work("edited.dwg"), edited);
    EXPECT_NE(OpenFailure(Work("edited.dwg")).Description().find("Node.js"), std::string::npos);
    EXPECT_EQ(ReadBytes(dwg), before);
}

// The DWG's own code page decides the text: a Chinese plan of 2013 (ANSI_936) and a frame block
// whose name and file name are Chinese.
TEST_F(Dwg, ChineseNamesComeThroughTheConversion) {
    const auto plan = drawing::LoadDrawing(ConvertDwg(
        (kLibreDwgData / "2013" / "gh109_1.dwg").string(), options.dwg, options.programFolder));
    EXPECT_NE(plan.FindLayer("洁具"), nullptr);

    const fs::path frame = kSharedData / "AutoCAD_CAXA_python-lisp" / "blocks" / "A4图框.dwg";
    auto app = App();
    auto document = app->Documents()->Open(frame.string());
    EXPECT_EQ(app->Caption(), "Kestrelwick CAD - [A4图框.dwg]");
    PlotSettings settings;
    settings.frameKind = FrameKind::BlockReference;
    settings.blockName = "图框";
    const auto frames = FindFrames(*document, settings);
    ASSERT_EQ(frames.size(), 1u);
    // The block's outer border, 287.3 × 200.43, inserted at scale 1.0337626.
    EXPECT_NEAR(frames[0].Width(), 297.0, 0.05);
    EXPECT_NEAR(frames[0].yMax - frames[0].yMin, 207.2, 0.05);
}

// Every DWG of the shared test data with a DXF twin: the same frames (blocks and polylines of any
// name and layer), the same entities per layout and type and the same layers, on and off, but for
// the differences listed.
TEST_F(Dwg, ConvertedTwinsAgreeWithTheirDxf) {
    // What LibreDWG does not carry over (measured; dwg2dxf/README.md says more).
    const std::map<std::string, std::string> knownDifferences = {
        // Its reader traps on this one ("table index is out of bounds").
        {"example_2004.dwg", "fails"},
        // The "twin" is a text dump, not DXF.
        {"r1.4/entities.dwg", "no dxf"},
        // Two block references, two wipeouts and a proxy entity of the CAD's R13/R14 DXF are not
        // written.
        {"example_r13.dwg", "frames"},
        {"example_r14.dwg", "frames"},
        // Before R13 block references are written with their rotation in radians and a zero
        // extrusion, so rotated blocks come out turned wrongly.
        {"r2.6/entities.dwg", "frames"},
        {"r2.10/entities.dwg", "frames"},
        {"r9/entities.dwg", "frames"},
        {"r10/entities.dwg", "frames"},
        {"r10/tmp_line.dwg", "frames"},
        {"r11/entities-2d.dwg", "frames"},
        {"r11/entities-3d.dwg", "frames"},
        // The DXF holds 64 proxy entities the DWG has no object for (a multileader written for
        // R14, as LibreDWG reads it).
        {"r14/Leader.dwg", "counts"},
        // The DXF has a second layer "0 @ 1" that LibreDWG does not find in the DWG.
        {"2018/Leader.dwg", "layers"},
    };
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kLibreDwgData)) {
        const fs::path dwg = entry.path();
        if (dwg.extension() != ".dwg" || !fs::exists(fs::path(dwg).replace_extension(".dxf"))) {
            continue;
        }
        const std::string name = fs::relative(dwg, kLibreDwgData).generic_string();
        const auto known = knownDifferences.find(name);
        const std::string expected = known == knownDifferences.end() ? "" : known->second;
        SCOPED_TRACE(name);
        ++compared;
        auto app = App();
        std::shared_ptr<CadDocument> fromDwg;
        try {
            fromDwg = app->Documents()->Open(dwg.string());
        } catch (const CadError& failure) {
            EXPECT_EQ(expected, "fails") << failure.Description();
            continue;
        }
        std::shared_ptr<CadDocument> fromDxf;
        try {
            fromDxf = app->Documents()->Open(fs::path(dwg).replace_extension(".dxf").string());
        } catch (const CadError& failure) {
            EXPECT_EQ(expected, "no dxf") << failure.Description();
            continue;
        }
        const bool framesAgree = SameFrames(FindAllFrames(*fromDwg, FrameKind::BlockReference),
                                            FindAllFrames(*fromDxf, FrameKind::BlockReference)) &&
                                 SameFrames(FindAllFrames(*fromDwg, FrameKind::PolylineLayer),
                                            FindAllFrames(*fromDxf, FrameKind::PolylineLayer));
        const auto converted = drawing::LoadDrawing(ConvertDwg(dwg.string(), options.dwg, ""));
        const auto twin = drawing::LoadDrawing(fs::path(dwg).replace_extension(".dxf").string());
        const bool countsAgree = EntityCounts(converted) == EntityCounts(twin);
        const bool layersAgree = LayerStates(converted) == LayerStates(twin);
        const std::string outcome = !framesAgree   ? "frames"
                                    : !countsAgree ? "counts"
                                    : !layersAgree ? "layers"
                                                   : "";
        EXPECT_EQ(outcome, expected) << name;
    }
    EXPECT_EQ(compared, 55);
}

// What LibreDWG leaves out and the converter writes back: a table of 2013 (as a bare record) and
// the 25 objects of an architectural application (not at all). Each comes back as in the CAD's
// own DXF of the drawing: same handle, layer, block and place, and graphics that draw the same.
TEST_F(Dwg, TablesAndObjectsOfOtherApplicationsComeBackAsTheCadWritesThem) {
    for (const std::string name : {"example_2013", "2013/gh109_1"}) {
        SCOPED_TRACE(name);
        const fs::path dwg = kLibreDwgData / (name + ".dwg");
        const auto converted = drawing::LoadDrawing(ConvertDwg(dwg.string(), options.dwg, ""));
        const auto twin = drawing::LoadDrawing(fs::path(dwg).replace_extension(".dxf").string());
        std::map<std::uint64_t, const drawing::Entity*> restored;
        for (const drawing::Entity& e : converted.LayoutEntities(converted.layouts.front()))
            if (e.DxfName() == "ACAD_TABLE" || e.DxfName() == "ACAD_PROXY_ENTITY")
                restored[e.handle] = &e;
        int compared = 0;
        for (const drawing::Entity& want : twin.LayoutEntities(twin.layouts.front())) {
            if (want.DxfName() != "ACAD_TABLE" && want.DxfName() != "ACAD_PROXY_ENTITY")
                continue;
            ++compared;
            ASSERT_EQ(restored.count(want.handle), 1u) << std::hex << want.handle;
            const drawing::Entity& got = *restored[want.handle];
            EXPECT_EQ(got.layer, want.layer);
            const auto& g = std::get<drawing::OpaqueGeometry>(got.geometry);
            const auto& w = std::get<drawing::OpaqueGeometry>(want.geometry);
            EXPECT_EQ(g.blockName, w.blockName);
            EXPECT_NEAR(g.insertion.x, w.insertion.x, 1e-9 * std::abs(w.insertion.x));
            EXPECT_NEAR(g.insertion.y, w.insertion.y, 1e-9 * std::abs(w.insertion.y));
            EXPECT_EQ(g.proxy != nullptr, w.proxy != nullptr);
            if (g.proxy && w.proxy)
                EXPECT_EQ(g.proxy->entities.size(), w.proxy->entities.size());
            const drawing::Box a = drawing::EntityExtents(converted, got);
            const drawing::Box b = drawing::EntityExtents(twin, want);
            EXPECT_EQ(a.IsEmpty(), b.IsEmpty());
            if (!a.IsEmpty() && !b.IsEmpty()) {
                EXPECT_NEAR(a.min.x, b.min.x, 1e-6 * (1 + std::abs(b.min.x)));
                EXPECT_NEAR(a.max.y, b.max.y, 1e-6 * (1 + std::abs(b.max.y)));
            }
        }
        EXPECT_EQ(compared, name == "example_2013" ? 1 : 25);
    }
}

// Every way a conversion fails ends in a CadError that names the file, its release and what to do.
TEST_F(Dwg, DamagedTruncatedAndUnknownDrawingsFailWithAMessage) {
    const std::string good = ReadBytes(kLibreDwgData / "example_2000.dwg");
    WriteBytes(Work("truncated.dwg"), good.substr(0, good.size() / 5));
    std::string damaged = good;
    for (std::size_t i = 0x80; i < damaged.size(); i += 7) {
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    }
    WriteBytes(Work("damaged.dwg"), damaged);
    WriteBytes(Work("future.dwg"), "AC1040" + good.substr(6));
    WriteBytes(Work("letter.dwg"), "Dear drafter,\nthis is no drawing.\n");
    WriteBytes(Work("empty.dwg"), "");

    struct Case {
        std::string file;
        std::vector<std::string> said;
    };
    const std::vector<Case> cases = {
        {"truncated.dwg", {"2000 (AC1015)", "damaged or incomplete", "RECOVER"}},
        {"damaged.dwg", {"2000 (AC1015)", "damaged or incomplete", "RECOVER"}},
        {"future.dwg", {"AC1040", "does not read", "save it as DXF"}},
        {"letter.dwg", {"not a DWG drawing"}},
        {"empty.dwg", {"not a DWG drawing", "empty"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const CadError failure = OpenFailure(Work(c.file));
        EXPECT_EQ(failure.Number(), errors::kCannotOpen);
        EXPECT_NE(failure.Description().find(Work(c.file).string()), std::string::npos)
            << failure.Description();
        for (const std::string& text : c.said) {
            EXPECT_NE(failure.Description().find(text), std::string::npos) << failure.Description();
        }
    }
    EXPECT_EQ(OpenFailure(Work("absent.dwg")).Number(), errors::kSystemFileNotFound);
    EXPECT_EQ(FileCount(options.dwg.cacheFolder), 0u) << "no half-written conversions are kept";
}

// A converter that stops early yet reports success leaves a DXF without its end: the drawing
// fails as incomplete, and that conversion is not kept for the next time.
TEST_F(Dwg, AConversionThatStopsEarlyFailsAndIsNotKept) {
    const fs::path script = m_root / "cut.mjs";
    WriteBytes(
        script,
        "import { writeFileSync } from 'node:fs';\n"
        "writeFileSync(process.argv[3], '  0\\nSECTION\\n  2\\nENTITIES\\n  0\\nLINE\\n');\n");
    options.dwg.script = script.string();
    const fs::path dwg = kLibreDwgData / "example_2000.dwg";
    const CadError failure = OpenFailure(dwg);
    EXPECT_EQ(failure.Number(), errors::kCannotOpen);
    EXPECT_NE(failure.Description().find(dwg.string()), std::string::npos) << failure.Description();
    EXPECT_NE(failure.Description().find("the file ends inside the ENTITIES section"),
              std::string::npos)
        << failure.Description();
    EXPECT_EQ(FileCount(options.dwg.cacheFolder), 0u);
}

TEST_F(Dwg, AMissingConverterSaysWhatToInstall) {
    const fs::path dwg = kLibreDwgData / "example_2018.dwg";
    options.dwg.node = (m_root / "bin" / "node").string();
    std::string said = OpenFailure(dwg).Description();
    EXPECT_NE(said.find(dwg.string()), std::string::npos) << said;
    EXPECT_NE(said.find("2018 (AC1032)"), std::string::npos) << said;
    EXPECT_NE(said.find("Node.js"), std::string::npos) << said;
    EXPECT_NE(said.find("apt-get install nodejs npm"), std::string::npos) << said;

    options.dwg.node.clear();
    options.dwg.script = (m_root / "program" / "dwg2dxf" / "kw-dwg2dxf.mjs").string();
    said = OpenFailure(dwg).Description();
    EXPECT_NE(said.find("converter " + options.dwg.script + " is missing"), std::string::npos)
        << said;

    // The script without its library (npm ci never ran).
    fs::create_directories(m_root / "program" / "dwg2dxf");
    fs::copy_file(KW_DWG2DXF_SCRIPT, options.dwg.script);
    said = OpenFailure(dwg).Description();
    EXPECT_NE(said.find("library is not installed"), std::string::npos) << said;
    EXPECT_NE(said.find("@mlightcad/libredwg-web"), std::string::npos) << said;
    EXPECT_NE(said.find("setup-debian.sh"), std::string::npos) << said;
}

// A converter that hangs, eats memory or crashes is stopped and said so; the run never waits
// longer than the time limit.
TEST_F(Dwg, AConverterThatHangsOrGrowsOrCrashesIsStopped) {
    const fs::path dwg = kLibreDwgData / "example_2000.dwg";
    fs::create_directories(m_root / "bin");
    options.dwg.node = (m_root / "bin" / "node").string();

    WriteScript(options.dwg.node, "sleep 600");
    options.dwg.timeLimitSeconds = 1;
    const auto started = std::chrono::steady_clock::now();
    std::string said = OpenFailure(dwg).Description();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_NE(said.find("longer than 1 s"), std::string::npos) << said;
    EXPECT_NE(said.find("2000 (AC1015)"), std::string::npos) << said;

    WriteScript(options.dwg.node, "exec node -e 'const b = Buffer.alloc(400 * 1024 * 1024, 1); "
                                  "setTimeout(() => console.log(b.length), 600000)'");
    options.dwg.timeLimitSeconds = 60;
    options.dwg.memoryLimitMb = 200;
    said = OpenFailure(dwg).Description();
    EXPECT_NE(said.find("more than 200 MB"), std::string::npos) << said;

    WriteScript(options.dwg.node, "echo 'Aborted: out of bounds' >&2; kill -SEGV $$");
    said = OpenFailure(dwg).Description();
    EXPECT_NE(said.find("signal 11"), std::string::npos) << said;
    EXPECT_NE(said.find("Aborted: out of bounds"), std::string::npos) << said;
}

TEST_F(Dwg, ClosingWithSaveNeverWritesTheDwg) {
    fs::copy_file(kLibreDwgData / "example_2000.dwg", Work("a.dwg"));
    fs::copy_file(kLibreDwgData / "example_2018.dwg", Work("b.dwg"));
    const std::string a = ReadBytes(Work("a.dwg"));
    const std::string b = ReadBytes(Work("b.dwg"));
    const auto aTime = fs::last_write_time(Work("a.dwg"));
    auto app = App();
    for (const char* name : {"a.dwg", "b.dwg"}) {
        auto document = app->Documents()->Open(Work(name).string());
        auto layout = document->ActiveLayout();
        layout->PutPlotRotation(1);
        layout->PutCenterPlot(true);
        document->Close(true);
    }
    EXPECT_EQ(ReadBytes(Work("a.dwg")), a);
    EXPECT_EQ(ReadBytes(Work("b.dwg")), b);
    EXPECT_EQ(fs::last_write_time(Work("a.dwg")), aTime);
    EXPECT_EQ(FileCount(m_root / "work"), 2u) << "nothing written beside the drawings";
    const auto lines = app->CommandLine();
    const auto notices = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("not saved") != std::string::npos;
    });
    EXPECT_EQ(notices, 1);
}

// An external reference to a DWG file is converted as the drawing itself is: the frames of a host
// that refers to a DWG are those of the same host referring to the DWG's DXF twin.
TEST_F(Dwg, ExternalReferencesToDwgFilesAreConverted) {
    std::string host = ReadBytes(fs::path(KW_DRAWING_TESTDATA) / "frames" / "xref_host_r2018.dxf");
    const std::string dxfName = "xref_frame_a3.dxf";
    for (auto at = host.find(dxfName); at != std::string::npos; at = host.find(dxfName, at)) {
        host.replace(at, dxfName.size(), "xref_frame_a3.dwg");
    }
    fs::create_directories(Work("dwg"));
    fs::create_directories(Work("dxf"));
    WriteBytes(Work("dwg/host.dxf"), host);
    fs::copy_file(kLibreDwgData / "example_2000.dwg", Work("dwg/xref_frame_a3.dwg"));
    WriteBytes(Work("dxf/host.dxf"), host);
    fs::copy_file(kLibreDwgData / "example_2000.dxf", Work("dxf/xref_frame_a3.dxf"));

    PlotSettings settings;
    settings.frameKind = FrameKind::ExternalReference;
    auto app = App();
    const auto throughDwg =
        FindFrames(*app->Documents()->Open(Work("dwg/host.dxf").string()), settings);
    const auto throughDxf =
        FindFrames(*app->Documents()->Open(Work("dxf/host.dxf").string()), settings);
    ASSERT_FALSE(throughDwg.empty());
    EXPECT_EQ(throughDwg, throughDxf);

    // One that cannot be converted is a missing drawing, said on the command line.
    WriteBytes(Work("dwg/xref_frame_a3.dwg"), "AC1015 and nothing else");
    app = App();
    app->Documents()->Open(Work("dwg/host.dxf").string());
    const auto lines = app->CommandLine();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("external reference") != std::string::npos &&
               line.find("xref_frame_a3.dwg") != std::string::npos;
    }));
}

TEST(DwgRelease, NamesTheReleaseOfTheHeader) {
    EXPECT_EQ(DwgReleaseName("AC1015\0\0\0"), "2000 (AC1015)");
    EXPECT_EQ(DwgReleaseName("AC1032"), "2018 (AC1032)");
    EXPECT_EQ(DwgReleaseName("AC1009"), "R11/R12 (AC1009)");
    EXPECT_EQ(DwgReleaseName("AC2.10"), "2.10 (AC2.10)");
    EXPECT_EQ(DwgReleaseName("AC1040"), "AC1040");
    EXPECT_EQ(DwgReleaseName("  0\nSECTION"), "");
    EXPECT_EQ(DwgReleaseName("AC10"), "");
}

} // namespace
} // namespace kw::builtin

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "test_support.h"

namespace kw::drawing {
namespace {

using test::Fixture;
using test::T;

std::size_t EntityCount(const Document& document) {
    std::size_t count = 0;
    for (const Block& block : document.blocks)
        count += block.entities.size();
    return count;
}

std::multiset<std::string> ModelTexts(const Document& document) {
    std::multiset<std::string> texts;
    for (const Entity& e : document.LayoutEntities(document.layouts.front())) {
        if (const auto* text = std::get_if<TextGeometry>(&e.geometry))
            texts.insert(text->text);
        if (const auto* mtext = std::get_if<MTextGeometry>(&e.geometry))
            texts.insert(mtext->text);
    }
    return texts;
}

TEST(DxfReader, ReadsGbkAndUtf8DrawingsToTheSameText) {
    const Document gbk = LoadDrawing(Fixture("frames/frames_r2000_gbk.dxf"));
    const Document utf8 = LoadDrawing(Fixture("frames/frames_r2018_utf8.dxf"));
    EXPECT_EQ(gbk.format.acadVersion, "AC1015");
    EXPECT_EQ(gbk.format.codePage, "ANSI_936");
    EXPECT_EQ(gbk.Release(), 1015);
    EXPECT_EQ(utf8.format.acadVersion, "AC1032");
    for (const Document* document : {&gbk, &utf8}) {
        ASSERT_NE(document->FindLayer("图框"), nullptr);
        const TextStyle* hz = document->FindTextStyle("hz");
        ASSERT_NE(hz, nullptr);
        EXPECT_EQ(hz->fontFile, "simsun.ttc");
        const TextStyle* gb = document->FindTextStyle("GB");
        ASSERT_NE(gb, nullptr);
        EXPECT_EQ(gb->fontFile, "gbenor.shx");
        EXPECT_EQ(gb->bigFontFile, "gbcbig.shx");
        EXPECT_TRUE(document->warnings.empty());
    }
    const auto texts = ModelTexts(gbk);
    EXPECT_EQ(texts, ModelTexts(utf8));
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find("图") != std::string::npos;
    }));
}

TEST(DxfReader, ReadsEveryReleaseInAsciiAndBinary) {
    struct Case {
        const char* file;
        const char* version;
        bool binary;
        bool crlf;
    };
    const Case cases[] = {
        {"libredwg/r2.6/entities.dxf", "AC1003", false, true},
        {"libredwg/r2.10/block.dxf", "AC2.10", false, true},
        {"ezdxf/AC1003_LINE_Example.dxf", "AC1003", false, false},
        {"ezdxf/Minimal_DXF_AC1006.dxf", "AC1006", false, false},
        {"frames/blocks_rmtk_r12_gbk.dxf", "AC1009", false, false},
        {"ezdxf/bin_dxf_r12.dxf", "AC1009", true, false},
        {"ACadSharp/sample_R12_binary.dxf", "AC1009", true, false},
        {"ezdxf/small_r13.dxf", "AC1012", false, false},
        {"frames/frames_r2000_gbk.dxf", "AC1015", false, false},
        {"libredwg/2000/entities-2d.dxf", "AC1015", false, true},
        {"ezdxf/bin_dxf_r2000.dxf", "AC1015", true, false},
        {"frames/frames_two_rows_r2004_gbk.dxf", "AC1018", false, false},
        {"frames/frames_shapes_r2007.dxf", "AC1021", false, false},
        {"frames/frames_abc_r2010.dxf", "AC1024", false, false},
        {"frames/blocks_rmtk_r2013.dxf", "AC1027", false, false},
        {"frames/frames_r2018_utf8.dxf", "AC1032", false, false},
        {"libredwg/example_2018.dxfb", "AC1032", true, false},
        {"ACadSharp/sample_AC1032_binary.dxf", "AC1032", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Document document = LoadDrawing(Fixture(c.file));
        EXPECT_EQ(document.format.acadVersion, c.version);
        EXPECT_EQ(document.format.binary, c.binary);
        EXPECT_EQ(document.format.crlf, c.crlf);
        EXPECT_GT(EntityCount(document), 0u);
        ASSERT_FALSE(document.layouts.empty());
        EXPECT_TRUE(document.layouts.front().isModel);
    }
}

TEST(DxfReader, ReadsThePaperSpaceLayoutsOfABinaryDrawing) {
    const Document binary = LoadDrawing(Fixture("ACadSharp/sample_AC1032_binary.dxf"));
    EXPECT_EQ(binary.layouts.size(), 4u); // Model and three paper-space layouts
    std::size_t paperEntities = 0;
    for (std::size_t i = 1; i < binary.layouts.size(); ++i)
        paperEntities += binary.LayoutEntities(binary.layouts[i]).size();
    EXPECT_GT(paperEntities, 0u);
    EXPECT_NE(binary.FindHeader("$ACADVER"), nullptr);
    EXPECT_EQ(binary.HeaderText("$acadver"), "AC1032");
}

TEST(DxfReader, ReadsCrLfAndLfAlike) {
    const std::string lf = test::ReadBytes(Fixture("frames/frames_r2000_gbk.dxf"));
    std::string crlf;
    for (const char c : lf) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const Document a = LoadDrawingFromBytes(lf, "lf.dxf");
    const Document b = LoadDrawingFromBytes(crlf, "crlf.dxf");
    EXPECT_FALSE(a.format.crlf);
    EXPECT_TRUE(b.format.crlf);
    EXPECT_EQ(ModelTexts(a), ModelTexts(b));
    ASSERT_EQ(EntityCount(a), EntityCount(b));
    EXPECT_EQ(a.layers.size(), b.layers.size());
    EXPECT_EQ(SaveDrawingToBytes(b), crlf);
}

TEST(DxfReader, DecodesUnicodeEscapesInNamesAndText) {
    const Document r12 = LoadDrawing(Fixture("ezdxf/ASCII_R12.dxf"));
    EXPECT_EQ(r12.HeaderText("$CLAYER"), "ΛΑΓΕΡÄÜÖ");
    EXPECT_NE(r12.FindLayer("λαγερäüö"), nullptr); // letter case ignored beyond ASCII

    // "\U+010da 4mm": the escape takes four hex digits, the "a" is text.
    const Document slovene = LoadDrawing(Fixture("qcad/cici_A4L.dxf"));
    bool found = false;
    for (const Block& block : slovene.blocks)
        for (const Entity& e : block.entities)
            if (const auto* m = std::get_if<MTextGeometry>(&e.geometry))
                found = found || m->text.find("Vezana plošča 4mm") != std::string::npos;
    EXPECT_TRUE(found);
}

TEST(DxfReader, ReadsTheCodePagesOfTheTestData) {
    EXPECT_EQ(LoadDrawing(Fixture("ezdxf/small_r13.dxf")).format.codePage, "dos932");
    EXPECT_EQ(LoadDrawing(Fixture("ezdxf/duplicate_handles.dxf")).format.codePage, "dos850");
    EXPECT_EQ(LoadDrawing(Fixture("ezdxf/no_layouts.dxf")).format.codePage, "ANSI_1256");
    EXPECT_EQ(LoadDrawing(Fixture("qcad/colors.dxf")).format.codePage, "ASCII");
    const Document caret = LoadDrawing(Fixture("ezdxf/caret_encoding.dxf"));
    bool lineFeed = false;
    for (const Entity& e : caret.LayoutEntities(caret.layouts.front()))
        if (const auto* t = std::get_if<MTextGeometry>(&e.geometry))
            lineFeed = lineFeed || t->text == "J: abc\ndef";
    EXPECT_TRUE(lineFeed);
}

TEST(DxfReader, IgnoresEverythingAfterEof) {
    const Document document = LoadDrawing(Fixture("ezdxf/R12_with_trash_beyond_EOF.dxf"));
    EXPECT_TRUE(document.warnings.empty());
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 1u);
    EXPECT_EQ(entities[0].type, EntityType::Circle);
    EXPECT_EQ(entities[0].layer, "Layer_is_a_required_tag");
    EXPECT_EQ(std::get<CircleGeometry>(entities[0].geometry).radius, 1.5);

    const Document minimal = LoadDrawing(Fixture("ezdxf/Minimal_DXF_AC1009.dxf"));
    EXPECT_EQ(minimal.layouts.size(), 1u);
    EXPECT_EQ(minimal.ActiveLayoutIndex(), 0u);
}

TEST(DxfReader, KeepsEntitiesWithTheirPropertiesInFileOrder) {
    const Document document = LoadDrawing(Fixture("frames/frames_r2000_gbk.dxf"));
    const auto& entities = document.LayoutEntities(document.layouts.front());
    std::vector<double> frameLefts;
    for (const Entity& e : entities) {
        EXPECT_NE(e.handle, 0u);
        if (e.type == EntityType::LwPolyline && e.layer == "图框") {
            const auto& g = std::get<LwPolylineGeometry>(e.geometry);
            EXPECT_TRUE(g.Closed());
            EXPECT_EQ(g.vertices.size(), 4u);
            frameLefts.push_back(g.vertices[0].x);
        }
    }
    // Written in the order 3rd, 1st, 2nd.
    EXPECT_EQ(frameLefts, (std::vector<double>{1000.0, 0.0, 500.0}));

    const Document blocks = LoadDrawing(Fixture("frames/blocks_rmtk_r2013.dxf"));
    const Block* rmtk = blocks.FindBlock("rmtk");
    ASSERT_NE(rmtk, nullptr);
    EXPECT_EQ(rmtk->name, "RmTK");
    EXPECT_FALSE(rmtk->IsXref());
    bool withAttributes = false;
    for (const Entity& e : blocks.LayoutEntities(blocks.layouts.front()))
        if (const auto* insert = std::get_if<InsertGeometry>(&e.geometry))
            withAttributes = withAttributes || !insert->attributes.empty();
    EXPECT_TRUE(withAttributes);

    const Document xref = LoadDrawing(Fixture("frames/xref_host_r2018.dxf"));
    const Block* tk = xref.FindBlock("tk_xref");
    ASSERT_NE(tk, nullptr);
    EXPECT_TRUE(tk->IsXref());
    EXPECT_EQ(tk->xrefPath, "xref_frame_a3.dxf");
}

TEST(DxfReader, ReadsLayoutsAndTheirPlotSettings) {
    const Document document = LoadDrawing(Fixture("frames/frames_paperspace_r2013.dxf"));
    ASSERT_GE(document.layouts.size(), 2u);
    EXPECT_EQ(document.layouts[0].name, "Model");
    EXPECT_EQ(document.layouts[1].name, "Layout1");
    EXPECT_TRUE(document.CanSavePlotSettings(document.layouts[0]));
    std::size_t frames = 0;
    for (const Entity& e : document.LayoutEntities(document.layouts[1]))
        frames += e.type == EntityType::LwPolyline && e.layer == "图框";
    EXPECT_EQ(frames, 1u);
    const Layer* layer = document.FindLayer("图框");
    ASSERT_NE(layer, nullptr);
    EXPECT_TRUE(layer->on);
    EXPECT_FALSE(layer->Frozen());
    EXPECT_TRUE(layer->plot);

    // R12 has no LAYOUT objects: a Model layout is made up, and it cannot keep plot settings.
    const Document r12 = LoadDrawing(Fixture("frames/blocks_rmtk_r12_gbk.dxf"));
    ASSERT_EQ(r12.layouts.size(), 1u);
    EXPECT_FALSE(r12.CanSavePlotSettings(r12.layouts[0]));
}

TEST(DxfReader, RefusesWhatIsNotDxfWithTheFileAndPlaceInTheMessage) {
    try {
        LoadDrawing(Fixture("ezdxf/807_1.dwg"));
        FAIL() << "a DWG file was read";
    } catch (const DxfError& error) {
        EXPECT_EQ(error.Number(), errors::kTypeMismatch);
        EXPECT_NE(std::string(error.what()).find("807_1.dwg"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("DWG"), std::string::npos);
    }
    try {
        LoadDrawing(Fixture("libredwg/r1.4/entities.dxf"));
        FAIL() << "a text dump was read";
    } catch (const DxfError& error) {
        EXPECT_EQ(error.Number(), errors::kTypeMismatch);
        EXPECT_EQ(error.Line(), 1u);
        EXPECT_EQ(std::string(error.what()),
                  "entities.dxf: line 1: not a readable DXF file: group code expected, found "
                  "\"EXTENTS,1\"");
    }
    try {
        LoadDrawing(Fixture("no/such/drawing.dxf"));
        FAIL();
    } catch (const DxfError& error) {
        EXPECT_EQ(error.Number(), errors::kFileNotFound);
        EXPECT_EQ(error.FileName(), "drawing.dxf");
    }
    EXPECT_THROW(LoadDrawingFromBytes("", "empty.dxf"), DxfError);
    EXPECT_THROW(LoadDrawingFromBytes("0\nLINE\n8\n0\n", "nosection.dxf"), DxfError);
    EXPECT_THROW(
        LoadDrawingFromBytes(std::string("AutoCAD Binary DXF\r\n\x1a\0\0\0SECT", 28), "cut.dxf"),
        DxfError);
    EXPECT_FALSE(LooksLikeDxf("EXTENTS,1\r\n"));
    EXPECT_TRUE(LooksLikeDxf("  0\nSECTION\n"));
}

// A file that stops before its end, or whose section, table or block is not closed, is refused
// with the line where that shows and what was expected; read to recover, it keeps what came
// before and says the same.
TEST(DxfReader, IncompleteFilesAreRefusedUnlessRecovered) {
    const std::string header = T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") +
                               T(1, "AC1015") + T(0, "ENDSEC"); // lines 1-10
    const std::string layer = T(0, "LAYER") + T(2, "FRAME") + T(70, "0");
    const std::string line = T(0, "LINE") + T(8, "FRAME") + T(10, 0.0) + T(20, 0.0) + T(11, 420.0) +
                             T(21, 297.0);                                  // 12 lines
    const std::string entities = T(0, "SECTION") + T(2, "ENTITIES") + line; // lines 11-26
    struct Case {
        const char* name;
        std::string bytes;
        std::uint64_t line;
        std::string reason;
    };
    const Case cases[] = {
        {"cut in entities", header + entities + T(0, "LINE") + T(8, "FRAME"), 30,
         "the file ends inside the ENTITIES section: ENDSEC expected"},
        {"cut within a tag", header + entities + T(0, "LINE") + "  8\n", 29,
         "the file ends inside the ENTITIES section: ENDSEC expected"},
        {"cut in a table",
         header + T(0, "SECTION") + T(2, "TABLES") + T(0, "TABLE") + T(2, "LAYER") + layer, 24,
         "the file ends inside the LAYER table: ENDTAB expected"},
        {"cut in a block",
         header + T(0, "SECTION") + T(2, "BLOCKS") + T(0, "BLOCK") + T(2, "B") + line, 30,
         "the file ends inside the block \"B\": ENDBLK expected"},
        {"no EOF", header + entities + T(0, "ENDSEC"), 28, "the file ends without EOF"},
        {"table not closed",
         header + T(0, "SECTION") + T(2, "TABLES") + T(0, "TABLE") + T(2, "LAYER") + layer +
             T(0, "ENDSEC") + entities + T(0, "ENDSEC") + T(0, "EOF"),
         25, "the LAYER table is not closed: ENDTAB expected, found ENDSEC"},
        {"block not closed",
         header + T(0, "SECTION") + T(2, "BLOCKS") + T(0, "BLOCK") + T(2, "B") + line +
             T(0, "ENDSEC") + entities + T(0, "ENDSEC") + T(0, "EOF"),
         31, "the block \"B\" is not closed: ENDBLK expected, found ENDSEC"},
        {"section not closed",
         header + entities + T(0, "SECTION") + T(2, "OBJECTS") + T(0, "ENDSEC") + T(0, "EOF"), 27,
         "the ENTITIES section is not closed: ENDSEC expected, found SECTION"},
        {"no entities", header + T(0, "EOF"), 12, "the file has no ENTITIES section"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            LoadDrawingFromBytes(c.bytes, "folder/cut.dxf");
            ADD_FAILURE() << "an incomplete file was read as whole";
        } catch (const DxfError& error) {
            EXPECT_EQ(error.Number(), errors::kTypeMismatch);
            EXPECT_EQ(error.Line(), c.line);
            EXPECT_EQ(error.Description(), "cut.dxf: line " + std::to_string(c.line) + ": " +
                                               c.reason +
                                               "; the drawing is incomplete (cut off or damaged)");
        }
        const Document recovered = LoadDrawingFromBytes(c.bytes, "cut.dxf", {.recover = true});
        EXPECT_NE(recovered.damage.find(c.reason), std::string::npos) << recovered.damage;
    }
    EXPECT_TRUE(LoadDrawingFromBytes(header + entities + T(0, "ENDSEC") + T(0, "EOF"), "whole.dxf")
                    .damage.empty());

    // A real drawing cut off in its ENTITIES section: the frames before the cut are recovered.
    const std::string drawing = test::ReadBytes(Fixture("frames/frames_r2000_gbk.dxf"));
    const std::size_t third =
        drawing.find("LWPOLYLINE", drawing.find("LWPOLYLINE", drawing.find("LWPOLYLINE") + 1) + 1);
    const std::string cut = drawing.substr(0, third + 4);
    EXPECT_THROW(LoadDrawingFromBytes(cut, "cut.dxf"), DxfError);
    const Document recovered = LoadDrawingFromBytes(cut, "cut.dxf", {.recover = true});
    std::size_t polylines = 0;
    for (const Entity& e : recovered.LayoutEntities(recovered.layouts.front()))
        polylines += e.type == EntityType::LwPolyline ? 1 : 0;
    EXPECT_EQ(polylines, 2u);

    // A binary file cut short names the byte offset.
    const std::string binary = test::ReadBytes(Fixture("ezdxf/bin_dxf_r2000.dxf"));
    for (const std::size_t size : {binary.size() / 2, binary.size() - 3}) {
        SCOPED_TRACE(size);
        try {
            LoadDrawingFromBytes(binary.substr(0, size), "cut.dxf");
            ADD_FAILURE() << "a binary file cut short was read as whole";
        } catch (const DxfError& error) {
            EXPECT_EQ(error.Line(), 0u);
            EXPECT_GT(error.Offset(), 0u);
            EXPECT_NE(error.Description().find("byte offset"), std::string::npos);
            EXPECT_NE(error.Description().find("incomplete"), std::string::npos);
        }
    }
}

TEST(DxfReader, LoadsWhatCanBeLoadedOfDamagedFiles) {
    const char* damaged[] = {
        "ezdxf/recover02.dxf",
        "ezdxf/duplicate_handles.dxf",
        "ezdxf/empty_handles.dxf",
        "ezdxf/r12_blocks_with_no_names.dxf",
        "ezdxf/r2000_blocks_with_no_names.dxf",
        "ezdxf/issue1106.dxf",
        "ezdxf/layout_broken_links.dxf",
        "ezdxf/layout_missing_block_definition.dxf",
        "ezdxf/no_layouts.dxf",
        "ezdxf/circle_radius_le_0.dxf",
        "ACadSharp/orphaned_tables_AC1009.dxf",
    };
    for (const char* file : damaged) {
        SCOPED_TRACE(file);
        const Document document = LoadDrawing(Fixture(file));
        EXPECT_FALSE(document.layouts.empty());
    }
    // Without EOF: refused, unless recovered.
    EXPECT_THROW(LoadDrawing(Fixture("ezdxf/recover01.dxf")), DxfError);
    EXPECT_GT(EntityCount(LoadDrawing(Fixture("ezdxf/recover01.dxf"), {.recover = true})), 1000u);
    const Document orphan = LoadDrawing(Fixture("ACadSharp/orphaned_tables_AC1009.dxf"));
    ASSERT_NE(orphan.FindLayer("TestLayer"), nullptr);
    EXPECT_EQ(orphan.FindLayer("TestLayer")->color, 3);
    EXPECT_EQ(orphan.warnings.size(), 1u);
    EXPECT_EQ(orphan.warnings[0], "line 11: TABLE outside the TABLES section read as a table");

    const std::string bytes = test::ReadBytes(Fixture("frames/frames_r2018_utf8.dxf"));
    // A line that is no group code mid-file: reading goes on at the next entity.
    std::string broken = bytes;
    const std::size_t at = broken.find("\nENTITIES\n");
    ASSERT_NE(at, std::string::npos);
    broken.insert(broken.find("\n  0\n", at + 200) + 1, "garbage\n");
    const Document intact = LoadDrawingFromBytes(bytes, "intact.dxf");
    const Document repaired = LoadDrawingFromBytes(broken, "broken.dxf");
    ASSERT_EQ(repaired.warnings.size(), 1u);
    EXPECT_NE(repaired.warnings[0].find("group code expected, found \"garbage\"; skipped to line"),
              std::string::npos);
    EXPECT_GE(EntityCount(repaired) + 1, EntityCount(intact));
    EXPECT_EQ(repaired.layouts.size(), intact.layouts.size());

    // A file of little but damage says so up to the cap, not without end.
    std::string flooding;
    for (int i = 0; i < 300; ++i)
        flooding += "garbage\n" + T(0, "POINT") + T(8, "0") + T(10, 0.0) + T(20, 0.0);
    const Document flooded = test::FromTags(flooding);
    EXPECT_EQ(flooded.warnings.size(), Warnings::kCap);
    EXPECT_NE(flooded.warnings.front().find("group code expected"), std::string::npos);
}

TEST(DxfReader, SurvivesRandomDamageWithoutCrashOrHang) {
    // Every byte flip, cut and insertion either loads or fails with a DxfError.
    const std::string files[] = {test::ReadBytes(Fixture("frames/blocks_rmtk_r12_gbk.dxf")),
                                 test::ReadBytes(Fixture("ezdxf/bin_dxf_r2000.dxf"))};
    std::mt19937 random(4);
    int loaded = 0;
    for (int round = 0; round < 600; ++round) {
        std::string bytes = files[round % 2];
        for (int k = 0; k < 1 + round % 5; ++k) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.erase(at, random() % 16);
                break;
            default:
                bytes.insert(at, 1 + random() % 8, static_cast<char>(random()));
                break;
            }
        }
        try {
            const Document document = LoadDrawingFromBytes(bytes, "fuzz.dxf", {.recover = true});
            for (const Layout& layout : document.layouts)
                for (const Entity& e : document.LayoutEntities(layout))
                    (void)EntityExtents(document, e);
            EXPECT_EQ(SaveDrawingToBytes(document), bytes);
            ++loaded;
        } catch (const DxfError&) {
        }
    }
    EXPECT_GT(loaded, 0);
}

TEST(DxfReader, ImagesKeepWhereTheyLieAndTheirDefinitionNamesTheFile) {
    using test::T;
    const std::string bytes =
        T(0, "SECTION") + T(2, "ENTITIES") + T(0, "IMAGE") + T(5, "81B") + T(8, "0") +
        T(100, "AcDbEntity") + T(92, 2) + T(310, "A400") + T(100, "AcDbRasterImage") + T(90, 0) +
        T(10, 17.5) + T(20, 0.5) + T(30, 0.0) + T(11, 0.25) + T(21, 0.0) + T(31, 0.0) + T(12, 0.0) +
        T(22, 0.25) + T(32, 0.0) + T(13, 300.0) + T(23, 168.0) + T(340, "80F") + T(70, 7) +
        T(280, 1) + T(71, 2) + T(91, 3) + T(14, -0.5) + T(24, -0.5) + T(14, 299.5) + T(24, -0.5) +
        T(14, 149.5) + T(24, 167.5) + T(0, "ENDSEC") + T(0, "SECTION") + T(2, "OBJECTS") +
        T(0, "IMAGEDEF") + T(5, "80F") + T(330, "80D") + T(100, "AcDbRasterImageDef") + T(90, 0) +
        T(1, "pictures\\site.png") + T(10, 300.0) + T(20, 168.0) + T(0, "ENDSEC") + T(0, "EOF");
    const Document document = LoadDrawingFromBytes(bytes, "image.dxf");
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 1u);
    const auto& raster = std::get<OpaqueGeometry>(entities[0].geometry).raster;
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->imageDefinition, 0x80Fu);
    EXPECT_EQ(raster->widthPx, 300.0);
    EXPECT_EQ(raster->heightPx, 168.0);
    ASSERT_EQ(raster->clip.size(), 3u);
    // The clip's first corner is the picture's upper-left corner; its third the bottom middle.
    const auto outline = raster->Outline();
    ASSERT_EQ(outline.size(), 3u);
    EXPECT_DOUBLE_EQ(outline[0].x, 17.5);
    EXPECT_DOUBLE_EQ(outline[0].y, 0.5 + 168 * 0.25);
    EXPECT_DOUBLE_EQ(outline[2].x, 17.5 + 150 * 0.25);
    EXPECT_DOUBLE_EQ(outline[2].y, 0.5);
    EXPECT_EQ(document.imageFiles.at(0x80F), "pictures\\site.png");
}

TEST(DxfReader, LinetypesKeepTheShapesAndTextsOfTheirDashes) {
    // A text after the first gap, a shape after each dash of the second; a 74 before any dash and
    // codes without a 74 belong to nothing.
    const std::string gas = T(0, "LTYPE") + T(5, "30") + T(2, "GAS") + T(74, "2") + T(75, "9") +
                            T(73, "3") + T(40, 0.95) + T(49, 0.5) + T(74, "0") + T(340, "77") +
                            T(49, -0.2) + T(74, "2") + T(75, "0") + T(340, "11") + T(46, 0.1) +
                            T(50, 0.0) + T(44, -0.1) + T(45, -0.05) + T(9, "GAS") + T(49, -0.25) +
                            T(74, "0");
    const std::string track = T(0, "LTYPE") + T(5, "31") + T(2, "TRACK") + T(49, 0.15) +
                              T(74, "4") + T(75, "130") + T(340, "12") + T(46, 0.25) +
                              T(50, 180.0) + T(49, 0.15) + T(74, "5") + T(75, "131") + T(340, "12");
    const Document document =
        test::FromSections(T(0, "TABLE") + T(2, "LTYPE") + gas + track + T(0, "ENDTAB"), "", "");
    const Linetype* g = document.FindLinetype("gas");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->dashes, (std::vector<double>{0.5, -0.2, -0.25}));
    ASSERT_EQ(g->shapes.size(), 1u);
    const LinetypeShape& text = g->shapes[0];
    EXPECT_EQ(text.dash, 1u);
    EXPECT_TRUE(text.IsText());
    EXPECT_FALSE(text.IsShape());
    EXPECT_EQ(text.style, 0x11u);
    EXPECT_EQ(text.scale, 0.1);
    EXPECT_EQ(text.offsetX, -0.1);
    EXPECT_EQ(text.offsetY, -0.05);
    EXPECT_EQ(text.text, "GAS");

    const Linetype* t = document.FindLinetype("TRACK");
    ASSERT_TRUE(t);
    ASSERT_EQ(t->shapes.size(), 2u);
    EXPECT_TRUE(t->shapes[0].IsShape());
    EXPECT_EQ(t->shapes[0].shapeNumber, 130);
    EXPECT_EQ(t->shapes[0].rotationDeg, 180.0);
    EXPECT_FALSE(t->shapes[0].AbsoluteRotation());
    EXPECT_EQ(t->shapes[1].dash, 1u);
    EXPECT_TRUE(t->shapes[1].AbsoluteRotation());
    EXPECT_EQ(t->shapes[1].scale, 1.0);
}

TEST(DxfReader, NamedPlotStylesOfEntitiesAndLayersAreKeptByName) {
    using test::T;
    const std::string bytes =
        T(0, "SECTION") + T(2, "HEADER") + T(9, "$ACADVER") + T(1, "AC1021") + T(0, "ENDSEC") +
        T(0, "SECTION") + T(2, "TABLES") + T(0, "TABLE") + T(2, "LAYER") + T(0, "LAYER") +
        T(5, "20") + T(2, "HEAVY") + T(70, 0) + T(62, 7) + T(6, "CONTINUOUS") + T(390, "10") +
        T(0, "ENDTAB") + T(0, "ENDSEC") + T(0, "SECTION") + T(2, "ENTITIES") + T(0, "LINE") +
        T(8, "0") + T(390, "10") + T(10, 0.0) + T(20, 0.0) + T(11, 1.0) + T(21, 0.0) +
        T(0, "LINE") + T(8, "HEAVY") + T(10, 0.0) + T(20, 0.0) + T(11, 1.0) + T(21, 0.0) +
        T(0, "ENDSEC") + T(0, "SECTION") + T(2, "OBJECTS") + T(0, "DICTIONARY") + T(5, "C") +
        T(3, "ACAD_GROUP") + T(350, "D") + T(3, "ACAD_PLOTSTYLENAME") + T(350, "E") +
        T(0, "DICTIONARY") + T(5, "D") + T(0, "ACDBDICTIONARYWDFLT") + T(5, "E") + T(3, "Normal") +
        T(350, "F") + T(3, "粗线 Heavy") + T(350, "10") + T(340, "F") + T(0, "ACDBPLACEHOLDER") +
        T(5, "F") + T(0, "ACDBPLACEHOLDER") + T(5, "10") + T(0, "ENDSEC") + T(0, "EOF");
    const Document document = LoadDrawingFromBytes(bytes, "styles.dxf");
    EXPECT_EQ(document.plotStyleNames,
              (std::map<std::uint64_t, std::string>{{0xF, "Normal"}, {0x10, "粗线 Heavy"}}));
    const auto& entities = document.LayoutEntities(document.layouts.front());
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(entities[0].plotStyle, 0x10u);
    EXPECT_EQ(entities[1].plotStyle, 0u);
    ASSERT_TRUE(document.FindLayer("HEAVY"));
    EXPECT_EQ(document.FindLayer("HEAVY")->plotStyle, 0x10u);
}

TEST(DxfReader, EveryFixtureLoadsOrFailsClearly) {
    std::set<std::string> failed, failedRecovering;
    for (const std::string& file : test::AllFixtures()) {
        SCOPED_TRACE(file);
        for (const bool recover : {false, true}) {
            try {
                LoadDrawing(file, {.recover = recover});
            } catch (const DxfError& error) {
                (recover ? failedRecovering : failed).insert(error.FileName());
                EXPECT_NE(std::string(error.what()).find(error.FileName()), std::string::npos);
            }
        }
    }
    // The DWG and the release-1.4 text dump are no DXF; the others are cut off.
    EXPECT_EQ(failedRecovering, (std::set<std::string>{"807_1.dwg", "entities.dxf"}));
    EXPECT_EQ(failed,
              (std::set<std::string>{"807_1.dwg", "entities.dxf", "recover01.dxf",
                                     "dimension-cycle-timeout.dxf", "dimension-self-timeout.dxf"}));
}

} // namespace
} // namespace kw::drawing

#include <gtest/gtest.h>

#include "drawing/drawing.h"
#include "output/title_fields.h"
#include "base/error.h"
#include "tests/output/sheet_drawing.h"
#include "tests/support/temp_folder.h"

namespace kw::output {
namespace {

using test::TempFolder;

drawing::Document Load(test::SheetDrawing drawing, const TempFolder& folder) {
    drawing.Write(folder.File("sheets.dxf"));
    return drawing::LoadDrawing(folder.File("sheets.dxf"));
}

FrameBox Box(const test::SheetFrame& f) {
    return {f.x, f.y, f.x + f.width, f.y + f.height};
}

TEST(TitleBlockReader, ReadsAttributesRegionsAndLabelsAtEachFramesScale) {
    TempFolder folder;
    const drawing::Document document = Load(test::MeasuredDrawing(), folder);
    const TitleBlockReader reader(document, DefaultFieldDefinitions());
    const double scales[] = {1, 100, 50, 20, 100};
    const char* numbers[] = {"S-01", "S-02", "S-03", "S-04", "S-05"};
    const char* titles[] = {"总平面图", "一层平面图", "立面图", "剖面详图", "总说明"};
    double x = 0;
    const double sizes[][2] = {{420, 297}, {841, 594}, {1051, 594}, {420, 594}, {900, 630}};
    for (int i = 0; i < 5; ++i) {
        const FrameBox frame{x, 0, x + sizes[i][0] * scales[i], sizes[i][1] * scales[i]};
        const FieldValues fields = reader.Read(frame, scales[i]);
        EXPECT_EQ(fields.count("图号") ? fields.at("图号") : "", numbers[i]) << i;
        EXPECT_EQ(fields.count("图名") ? fields.at("图名") : "", titles[i]) << i;
        x = frame.xMax + 100000;
    }
}

TEST(TitleBlockReader, AFrameWithoutTitleBlockHasNoFieldsThoughItsNeighbourHas) {
    TempFolder folder;
    test::SheetDrawing drawing;
    test::SheetFrame named;
    named.width = 420;
    named.height = 297;
    named.attributes = true;
    named.number = "A-1";
    named.title = "目录";
    drawing.Add(named);
    const drawing::Document document = Load(drawing, folder);
    const TitleBlockReader reader(document, DefaultFieldDefinitions());
    EXPECT_EQ(reader.Read(Box(named), 1).at("图号"), "A-1");
    EXPECT_TRUE(reader.Read({500, 0, 920, 297}, 1).empty());
}

TEST(TitleBlockReader, ALabelAndItsValueInOneTextAndTagsOfAnyLetterCase) {
    const FieldDefinitions definitions = ParseFieldDefinitions(R"(
[kestrelwick-fields]
version = 1
[field 图号]
tags = drawing_no
labels = 图号
[field 图名]
tags = TITLE
)");
    TempFolder folder;
    test::SheetDrawing drawing;
    test::SheetFrame frame;
    frame.width = 420;
    frame.height = 297;
    frame.labelled = true;
    frame.number = "";
    frame.title = "";
    drawing.Add(frame);
    std::string text = drawing.Text();
    // One more text: "图号：K-9" in the title block.
    const std::string entities = "ENTITIES\n";
    text.insert(text.find(entities) + entities.size(),
                "  0\nTEXT\n  8\n0\n 10\n380\n 20\n40\n 40\n3.5\n  1\n" +
                    test::DxfText::Escaped("图号：K-9") + "\n");
    folder.Write("one.dxf", text);
    const drawing::Document document = drawing::LoadDrawing(folder.File("one.dxf"));
    const FieldValues fields = TitleBlockReader(document, definitions).Read(Box(frame), 1);
    EXPECT_EQ(fields.at("图号"), "K-9");
    EXPECT_EQ(fields.count("图名"), 0u);
}

TEST(FieldDefinitions, AMalformedFileIsRefusedNamingTheLine) {
    auto failure = [](const std::string& text) {
        try {
            ParseFieldDefinitions(text);
        } catch (const Error& error) {
            EXPECT_EQ(error.Number(), 13);
            return error.Description();
        }
        return std::string("accepted");
    };
    const std::string head = "[kestrelwick-fields]\nversion = 1\n[field 图号]\n";
    EXPECT_NE(failure(head + "region = 1 2 3\n").find("line 4: region needs four numbers"),
              std::string::npos);
    EXPECT_NE(failure(head + "colour = red\n").find("line 4: unknown key \"colour\""),
              std::string::npos);
    EXPECT_NE(failure("[kestrelwick-fields]\nversion = 2\n").find("line 2: version 2 is newer"),
              std::string::npos);
    EXPECT_NE(failure("[field 图号]\ntags = A\n").find("no [kestrelwick-fields]"),
              std::string::npos);
    // A later version's own sections are left alone; regions keep their corners in order.
    const FieldDefinitions read = ParseFieldDefinitions(
        "\xEF\xBB\xBF" + head + "region = 0 9 -60 1 ; the cell\n[later]\nx = 1\n");
    ASSERT_EQ(read.fields.size(), 1u);
    EXPECT_EQ(read.fields[0].regions[0].left, -60);
    EXPECT_EQ(read.fields[0].regions[0].top, 9);
}

TEST(FieldDefinitions, TheShippedFileIsWrittenBesideTheSettingsWhenMissingAndReadBack) {
    TempFolder folder;
    const FieldDefinitions first = LoadFieldDefinitions(folder.File("config"));
    EXPECT_EQ(folder.Read("config/" + std::string(kFieldsFileName)), DefaultDefinitionsText());
    ASSERT_GE(first.fields.size(), 3u);
    EXPECT_EQ(first.fields[0].name, "图号");
    folder.Write("config/" + std::string(kFieldsFileName), "[field x]\n");
    try {
        LoadFieldDefinitions(folder.File("config"));
        ADD_FAILURE() << "a malformed file was accepted";
    } catch (const Error& error) {
        EXPECT_NE(error.Description().find(kFieldsFileName), std::string::npos);
    }
}

} // namespace
} // namespace kw::output

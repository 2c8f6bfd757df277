#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kw::drawing {
namespace {

using test::T;

// A drawing of some 12 MB: lines on ten layers, and every 20 000th record an opaque table whose
// tags (its subclass markers and block name) only the file holds. Large enough that a load for
// reading gives the first megabytes back while the rest is still being read.
std::string LargeDrawing(std::size_t& tables) {
    std::string text = T(0, "SECTION") + T(2, "ENTITIES");
    text.reserve(13u << 20);
    for (int i = 0; text.size() < (12u << 20); ++i) {
        if (i % 20000 == 7) {
            ++tables;
            text += T(0, "ACAD_TABLE") + T(5, "T" + std::to_string(i)) + T(100, "AcDbEntity") +
                    T(8, "L" + std::to_string(i % 10)) + T(100, "AcDbBlockReference") +
                    T(2, "*T" + std::to_string(i)) + T(10, 0.0) + T(20, 0.0) + T(30, 0.0) +
                    T(100, "AcDbTable") + T(91, "2");
            continue;
        }
        text += T(0, "LINE") + T(8, "L" + std::to_string(i % 10)) + T(10, i * 1.5) + T(20, 2.0) +
                T(30, 0.0) + T(11, i * 1.5 + 1) + T(21, 4.0) + T(31, 0.0);
    }
    return text + T(0, "ENDSEC") + T(0, "EOF");
}

std::vector<std::uint64_t> Handles(const std::vector<const Entity*>& entities) {
    std::vector<std::uint64_t> out;
    for (const Entity* e : entities)
        out.push_back(e->handle);
    return out;
}

std::string TagText(const Document& document, const Entity& entity) {
    std::string out;
    for (const Tag& tag : EntityTags(document, entity))
        out += std::to_string(tag.code) + "=" + tag.value + ";";
    return out;
}

// Read for plotting only, a drawing gives the model, the tags of its opaque entities and the
// selections of the frame filters that it gives when read for a save; it refuses to be saved.
TEST(KeepBytes, ReadingOnlyGivesTheSameModelTagsAndSelectionsAndRefusesASave) {
    test::TempFolder folder;
    std::vector<std::string> files = test::AllFixtures();
    const std::string large = folder.File("large.dxf");
    std::size_t tableCount = 0;
    std::ofstream(large, std::ios::binary) << LargeDrawing(tableCount);
    files.push_back(large);
    const std::vector<std::vector<FilterEntry>> filters = {
        {{0, "LWPOLYLINE"}, {8, "*"}},
        {{100, "AcDbBlockReference"}, {2, "*"}},
        {{100, "AcDbExternalReference"}, {2, "*"}},
        {{0, "ACAD_TABLE"}, {2, "`*T*"}},
    };
    int opaque = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        Document kept;
        try {
            kept = LoadDrawing(file);
        } catch (const DxfError&) {
            EXPECT_THROW(LoadDrawing(file, {.keep = KeepBytes::ForReading}), DxfError);
            continue;
        }
        const Document read = LoadDrawing(file, {.keep = KeepBytes::ForReading});
        EXPECT_TRUE(read.Source().empty());
        EXPECT_EQ(read.warnings, kept.warnings);
        ASSERT_EQ(read.layouts.size(), kept.layouts.size());
        for (std::size_t l = 0; l < kept.layouts.size(); ++l) {
            const auto& a = kept.LayoutEntities(kept.layouts[l]);
            const auto& b = read.LayoutEntities(read.layouts[l]);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(a[i].type, b[i].type);
                EXPECT_EQ(a[i].layer, b[i].layer);
                if (a[i].type == EntityType::Unknown) {
                    EXPECT_EQ(TagText(read, b[i]), TagText(kept, a[i]));
                    ++opaque;
                }
            }
        }
        for (const auto& filter : filters)
            EXPECT_EQ(Handles(SelectAll(read, filter)), Handles(SelectAll(kept, filter)));
        try {
            SaveDrawingToBytes(read);
            ADD_FAILURE() << "a drawing read for plotting only was saved";
        } catch (const DxfError& failure) {
            EXPECT_EQ(failure.Number(), errors::kInvalidCall);
        }
        EXPECT_THROW(SaveDrawing(read, folder.File("copy.dxf")), DxfError);
    }
    const Document read = LoadDrawing(large, {.keep = KeepBytes::ForReading});
    const auto tables = SelectAll(read, {{100, "AcDbBlockReference"}, {2, "`*T*"}});
    // All of them, those read after the first bytes were given back included.
    EXPECT_EQ(tables.size(), tableCount);
    EXPECT_GT(tableCount, 4u);
    EXPECT_GT(opaque, static_cast<int>(tableCount));
}

} // namespace
} // namespace kw::drawing

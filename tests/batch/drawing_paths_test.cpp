// From what a user names on the command line to the drawings of a batch, and its shards.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "batch/drawing_paths.h"
#include "base/error.h"
#include "settings/list_file.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Relative(const std::vector<std::string>& paths, const std::string& root) {
    std::vector<std::string> relative;
    for (const std::string& path : paths) {
        relative.push_back(fs::path(path).lexically_relative(root).generic_string());
    }
    return relative;
}

class DrawingPaths : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"set", "set/sub", "set/sub/deeper", "set/empty", "other"}) {
            fs::create_directories(fs::path(m_folder.Path()) / folder);
        }
        for (const char* file : {"set/b.dxf", "set/A.DWG", "set/notes.txt", "set/c.dxf.bak",
                                 "set/sub/d.dxf", "set/sub/deeper/e.dxf", "other/f.dxf",
                                 "other/g1.dxf", "other/g2.dxf", "other/.hidden.dxf"}) {
            m_folder.Write(file, "0\nEOF\n");
        }
    }
    std::string Root() const { return m_folder.Path(); }
    std::string At(const std::string& relative) const { return m_folder.File(relative); }

    test::TempFolder m_folder;
};

TEST_F(DrawingPaths, FoldersGiveTheirDrawingsAndRecursiveTheirSubFoldersToo) {
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("set")}, false).drawings, Root()),
              (std::vector<std::string>{"set/A.DWG", "set/b.dxf"}));
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("set")}, true).drawings, Root()),
              (std::vector<std::string>{"set/A.DWG", "set/b.dxf", "set/sub/d.dxf",
                                        "set/sub/deeper/e.dxf"}));
    // A folder without drawings is said, not silently passed over.
    const DrawingSet empty = ExpandDrawingPaths({At("set/empty")}, true);
    EXPECT_TRUE(empty.drawings.empty());
    ASSERT_EQ(empty.notes.size(), 1u);
    EXPECT_NE(empty.notes[0].find("empty"), std::string::npos);
}

TEST_F(DrawingPaths, PatternsMatchInAnyPartOfThePathAndHiddenFilesOnlyWhenAskedFor) {
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("other/g?.dxf")}, false).drawings, Root()),
              (std::vector<std::string>{"other/g1.dxf", "other/g2.dxf"}));
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("*/[bd].dxf")}, false).drawings, Root()),
              (std::vector<std::string>{"set/b.dxf"}));
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("s*/s*")}, false).drawings, Root()),
              (std::vector<std::string>{"set/sub/d.dxf"}));
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("other/*")}, false).drawings, Root()),
              (std::vector<std::string>{"other/f.dxf", "other/g1.dxf", "other/g2.dxf"}));
    EXPECT_EQ(Relative(ExpandDrawingPaths({At("other/.h*")}, false).drawings, Root()),
              (std::vector<std::string>{"other/.hidden.dxf"}));
    // A pattern that matches nothing stays in, to be reported as a drawing not found.
    const DrawingSet none = ExpandDrawingPaths({At("other/z*.dxf")}, false);
    EXPECT_EQ(none.drawings, (std::vector<std::string>{At("other/z*.dxf")}));
    EXPECT_EQ(none.notes.size(), 1u);
}

TEST_F(DrawingPaths, ListFilesAreReadAsTheDesktopProgramWritesThemAndNothingComesTwice) {
    DrawingList list;
    list.Add(At("other/f.dxf"));
    WriteListFile(At("set/plans.txt"), list);
    // GBK with CR LF, relative lines counted from the list file's folder, blanks trimmed,
    // empty lines passed over, folders and patterns expanded.
    m_folder.Write("set/more.lst", "  b.dxf \r\n\r\nsub\r\n../other/g*.dxf\r\n");
    const DrawingSet set = ExpandDrawingPaths(
        {At("set/plans.txt"), At("set/more.lst"), At("set"), At("other/f.dxf")}, false);
    EXPECT_EQ(Relative(set.drawings, Root()),
              (std::vector<std::string>{"other/f.dxf", "set/../other/g1.dxf", "set/../other/g2.dxf",
                                        "set/A.DWG", "set/b.dxf", "set/sub/d.dxf"}));
    // A drawing named in no known way is passed on as it stands; the CAD says what is wrong.
    EXPECT_EQ(ExpandDrawingPaths({At("nothing.dxf")}, false).drawings,
              (std::vector<std::string>{At("nothing.dxf")}));
}

TEST(Wildcards, MatchAsAShellDoes) {
    EXPECT_TRUE(WildcardMatch("*.dxf", "a.dxf"));
    EXPECT_TRUE(WildcardMatch("*.dxf", ".dxf"));
    EXPECT_FALSE(WildcardMatch("*.dxf", "a.dxf.bak"));
    EXPECT_TRUE(WildcardMatch("a*b*c", "axxbyyc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "axxbyy"));
    EXPECT_TRUE(WildcardMatch("?框-[一-龥].dxf", "图框-甲.dxf")); // characters, not bytes
    EXPECT_FALSE(WildcardMatch("??", "图"));
    EXPECT_TRUE(WildcardMatch("[a-c]1", "b1"));
    EXPECT_FALSE(WildcardMatch("[!a-c]1", "b1"));
    EXPECT_TRUE(WildcardMatch("[]]", "]"));
    EXPECT_TRUE(WildcardMatch("[ab", "[ab"));
    EXPECT_TRUE(WildcardMatch("", ""));
    EXPECT_FALSE(WildcardMatch("", "a"));
}

TEST(Shards, EveryDrawingFallsInExactlyOneShardWhateverTheOrderItWasNamedIn) {
    std::vector<std::string> drawings;
    for (int i = 0; i < 20; ++i) {
        drawings.push_back("/plans/" + std::to_string(i * 7 % 20) + ".dxf");
    }
    std::vector<std::string> reversed(drawings.rbegin(), drawings.rend());
    std::multiset<std::string> union_;
    for (int k = 1; k <= 3; ++k) {
        const std::vector<std::string> slice = TakeShard(drawings, {k, 3});
        EXPECT_GE(slice.size(), 6u);
        EXPECT_LE(slice.size(), 7u);
        // The same slice from a machine that listed the drawings another way.
        std::vector<std::string> other = TakeShard(reversed, {k, 3});
        std::reverse(other.begin(), other.end());
        EXPECT_EQ(slice, other);
        union_.insert(slice.begin(), slice.end());
    }
    EXPECT_EQ(union_, std::multiset<std::string>(drawings.begin(), drawings.end()));

    EXPECT_EQ(ParseShard("2/8").index, 2);
    EXPECT_EQ(ParseShard("2/8").count, 8);
    for (const char* bad : {"0/3", "4/3", "1/0", "3", "a/b", "1/3x", "-1/3", ""}) {
        try {
            ParseShard(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& failure) {
            EXPECT_EQ(failure.Number(), 5);
            EXPECT_NE(failure.Description().find("--shard"), std::string::npos);
        }
    }
}

} // namespace
} // namespace kw

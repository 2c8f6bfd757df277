#include <gtest/gtest.h>

#include "settings/drawing_list.h"
#include "settings/error.h"

namespace kw {
namespace {

DrawingList ListOf(std::initializer_list<const char*> paths) {
    DrawingList list;
    for (const char* path : paths)
        list.Add(path);
    return list;
}

TEST(DrawingList, EntriesStandSortedWithLetterCaseIgnored) {
    const DrawingList list = ListOf({"D:\\b.dwg", "D:\\C.dwg", "D:\\a.dwg", "D:\\B.dwg"});
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"D:\\a.dwg", "D:\\b.dwg", "D:\\B.dwg", "D:\\C.dwg"}));
}

TEST(DrawingList, DialogResultsBecomeFullPaths) {
    EXPECT_EQ(DialogCandidates("D:\\plans\\a.dwg"), (std::vector<std::string>{"D:\\plans\\a.dwg"}));
    EXPECT_EQ(
        DialogCandidates(std::string("D:\\plans\0a.dwg\0b.dwg\0c.dwg", 27)),
        (std::vector<std::string>{"D:\\plans\\a.dwg", "D:\\plans\\b.dwg", "D:\\plans\\c.dwg"}));
    // A drive root keeps its separator and gets one more, as the dialog's parts are joined.
    EXPECT_EQ(DialogCandidates(std::string("D:\\\0a.dwg\0b.dwg", 15)),
              (std::vector<std::string>{"D:\\\\a.dwg", "D:\\\\b.dwg"}));
}

TEST(DrawingList, AddFromDialogSkipsExactDuplicatesAndReportsACancel) {
    DrawingList list = ListOf({"D:\\p\\a.dwg"});
    std::vector<std::string> messages;
    auto show = [&](const std::string& text) { messages.push_back(text); };

    AddFromDialog(
        list, [] { return std::string("D:\\p\0a.dwg\0A.dwg\0b.dwg", 23); }, show);
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"D:\\p\\a.dwg", "D:\\p\\A.dwg", "D:\\p\\b.dwg"}));
    EXPECT_TRUE(messages.empty());

    AddFromDialog(
        list, [] { return std::optional<std::string>(); }, show);
    AddFromDialog(
        list, [] { return std::string(32001, 'x'); }, show);
    EXPECT_EQ(messages, (std::vector<std::string>{"请选择文件！", "请选择文件！"}));
    EXPECT_EQ(list.Count(), 3);
}

TEST(DrawingList, DropsTakeLowerCaseDrawingSuffixesWithDuplicates) {
    DrawingList list;
    AddDropped(list, {"/d/a.dwg", "/d/b.DWG", "/d/c.txt", "/d/a.dwg", "/d/xdwg", "/d/m.dxf", "wg"});
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"/d/a.dwg", "/d/a.dwg", "/d/m.dxf", "/d/xdwg"}));
}

TEST(DrawingList, RemoveSelectedTakesEverySelectedEntry) {
    DrawingList list = ListOf({"a", "b", "c", "d"});
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    list.RemoveSelected();
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(list.IsSelected(0));
    EXPECT_FALSE(list.IsSelected(1));
    list.ClearList();
    EXPECT_EQ(list.Count(), 0);
}

TEST(DrawingList, FirstEntryAndItsRemoval) {
    DrawingList list = ListOf({"b", "a"});
    EXPECT_EQ(list.First(), "a");
    list.RemoveFirst();
    EXPECT_EQ(list.First(), "b");
    list.RemoveFirst();
    EXPECT_THROW(list.First(), Error);
    EXPECT_THROW(list.RemoveFirst(), Error);
}

TEST(DrawingList, TooltipShowsTheEntryUnderThePointer) {
    DrawingList list = ListOf({"a", "b", "c", "d", "e", "f", "g"});
    const double line = 195.0;
    EXPECT_EQ(ListTip(list, 2 * line + 10, line), "c");
    list.SetTopIndex(3);
    EXPECT_EQ(ListTip(list, 2 * line + 10, line), "f");
    EXPECT_EQ(ListTip(list, 4 * line, line), kListTipHint);
    EXPECT_EQ(ListTip(DrawingList(), 0, line), kListTipHint);
    // Halves round to the even neighbour before the division.
    EXPECT_EQ(ListRowAt(389.5, 194.5, 0), 2); // 390 / 194
    EXPECT_EQ(ListRowAt(388.5, 195.5, 0), 1); // 388 / 196
    EXPECT_EQ(ListRowAt(100.0, 0.4, 0), -1);  // no measurable line height
    EXPECT_EQ(ListTip(list, 100.0, 0.4), kListTipHint);
}

} // namespace
} // namespace kw

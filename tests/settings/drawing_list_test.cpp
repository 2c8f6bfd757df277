#include <gtest/gtest.h>

#include "settings/drawing_list.h"
#include "base/error.h"

namespace kw {
namespace {

// A list sorted in a fixed locale, whatever the machine's user has chosen.
DrawingList ListOf(std::initializer_list<const char*> paths, const char* locale = "en_US") {
    DrawingList list{TextCollator(locale)};
    for (const char* path : paths)
        list.Add(path);
    return list;
}

TEST(DrawingList, EntriesStandInTheLocalesOrderWithLetterCaseIgnored) {
    // Equal but for case: in the order added.
    EXPECT_EQ(ListOf({"D:\\b.dwg", "D:\\C.dwg", "D:\\a.dwg", "D:\\B.dwg"}).Entries(),
              (std::vector<std::string>{"D:\\a.dwg", "D:\\b.dwg", "D:\\B.dwg", "D:\\C.dwg"}));
    // Characters, not UTF-8 bytes: a folder name before the longer one, punctuation before
    // digits before letters, accented and full-width letters of either case together.
    EXPECT_EQ(ListOf({"D:\\dir2\\a.dwg", "D:\\dir\\a.dwg"}).Entries(),
              (std::vector<std::string>{"D:\\dir\\a.dwg", "D:\\dir2\\a.dwg"}));
    EXPECT_EQ(ListOf({"ab", "a1", "a_b"}).Entries(), (std::vector<std::string>{"a_b", "a1", "ab"}));
    EXPECT_EQ(ListOf({"f.dwg", "É.dwg", "e.dwg", "é.dwg"}).Entries(),
              (std::vector<std::string>{"e.dwg", "É.dwg", "é.dwg", "f.dwg"}));
    EXPECT_EQ(ListOf({"Ｂ.dwg", "ａ.dwg", "Ａ.dwg"}).Entries(),
              (std::vector<std::string>{"ａ.dwg", "Ａ.dwg", "Ｂ.dwg"}));
    // The C locale's collation would count letter case: the root one stands in.
    EXPECT_EQ(ListOf({"b.dwg", "B.dwg", "a.dwg"}, "en_US_POSIX").Entries(),
              (std::vector<std::string>{"a.dwg", "b.dwg", "B.dwg"}));
    // Chinese in a Chinese locale: pinyin, Beijing before Shanghai.
    EXPECT_EQ(ListOf({"D:\\上海.dwg", "D:\\北京.dwg"}, "zh_CN").Entries(),
              (std::vector<std::string>{"D:\\北京.dwg", "D:\\上海.dwg"}));
}

TEST(DrawingList, DialogResultsBecomeFullPaths) {
    EXPECT_EQ(DialogCandidates("D:\\plans\\a.dwg"), (std::vector<std::string>{"D:\\plans\\a.dwg"}));
    EXPECT_EQ(
        DialogCandidates(std::string("D:\\plans\0a.dwg\0b.dwg\0c.dwg", 27)),
        (std::vector<std::string>{"D:\\plans\\a.dwg", "D:\\plans\\b.dwg", "D:\\plans\\c.dwg"}));
    // A drive root keeps its separator and gets one more, as the dialog's parts are joined.
    EXPECT_EQ(DialogCandidates(std::string("D:\\\0a.dwg\0b.dwg", 15)),
              (std::vector<std::string>{"D:\\\\a.dwg", "D:\\\\b.dwg"}));
    // A dialog outside Windows answers with a POSIX folder.
    EXPECT_EQ(DialogCandidates(std::string("/home/u\0a.dwg\0b.dxf", 19)),
              (std::vector<std::string>{"/home/u/a.dwg", "/home/u/b.dxf"}));
    EXPECT_EQ(DialogCandidates(std::string("/\0a.dwg\0b.dwg", 13)),
              (std::vector<std::string>{"/a.dwg", "/b.dwg"}));
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

    // The limit counts characters as the dialog does, in UTF-16 code units: a result of 32000
    // characters, nearly all Chinese (about 96000 bytes), passes; one more does not, and a
    // character beyond U+FFFF counts two.
    std::string chinese = "D:\\";
    while (chinese.size() < 3 + 3 * 31993)
        chinese += "图";
    AddFromDialog(
        list, [&] { return chinese + ".dwg"; }, show);
    EXPECT_EQ(list.Count(), 4);
    AddFromDialog(
        list, [&] { return chinese + "图.dwg"; }, show);
    std::string wide = "D:\\";
    for (int i = 0; i < 15997; ++i)
        wide += "\U0001F600";
    AddFromDialog(
        list, [&] { return wide + ".dwg"; }, show);
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_EQ(list.Count(), 4);
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

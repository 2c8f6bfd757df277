#include <gtest/gtest.h>

#include "settings/list_file.h"
#include "base/text_file.h"
#include "tests/support/temp_folder.h"

namespace kw {
namespace {

using test::TempFolder;

struct DialogScript {
    DialogScript() = default;
    explicit DialogScript(std::string path) : answer(std::move(path)) {}

    std::optional<std::string> answer;
    std::vector<std::string> titles;
    std::vector<std::string> messages;

    ListFileUi Ui() {
        return {[this](const std::string& title) {
                    titles.push_back(title);
                    return answer;
                },
                [this](const std::string& text) { messages.push_back(text); }};
    }
};

DrawingList ListOf(std::initializer_list<const char*> paths) {
    DrawingList list{TextCollator("en_US")};
    for (const char* path : paths)
        list.Add(path);
    return list;
}

TEST(ListFile, SavesOneEntryPerCrLfLineInListOrder) {
    TempFolder folder;
    DialogScript dialog{folder.File("list.txt")};
    SaveListFile(ListOf({"D:\\图纸\\b.dwg", "D:\\a.dwg", "D:\\c.dwg"}), dialog.Ui());
    EXPECT_EQ(dialog.titles, (std::vector<std::string>{"保存列表文件"}));
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(folder.Read("list.txt"), EncodeGbk("D:\\a.dwg\r\nD:\\c.dwg\r\nD:\\图纸\\b.dwg\r\n"));

    SaveListFile(DrawingList(), dialog.Ui());
    EXPECT_EQ(folder.Read("list.txt"), "");
}

TEST(ListFile, LoadsLinesSortedAsTheyStand) {
    TempFolder folder;
    folder.Write("list.txt", EncodeGbk("c.dwg\r\n\r\na.dwg\rb.dwg\na.dwg\r\n图纸.dwg"));
    DrawingList list = ListOf({"old.dwg"});
    DialogScript dialog{folder.File("list.txt")};
    LoadListFile(list, dialog.Ui());
    EXPECT_EQ(dialog.titles, (std::vector<std::string>{"读取列表文件"}));
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"", "a.dwg", "a.dwg", "b.dwg", "c.dwg", "图纸.dwg"}));
}

TEST(ListFile, AListSavedAsUtf8OrWithStrayBytesIsRead) {
    TempFolder folder;
    DrawingList list = ListOf({});
    DialogScript dialog{folder.File("list.txt")};
    // (Bytes that are GB18030 as well stay GB18030: the program's own files are.)
    folder.Write("list.txt", "D:\\图纸集\\上海市.dwg\nD:\\a.dwg\n");
    LoadListFile(list, dialog.Ui());
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"D:\\a.dwg", "D:\\图纸集\\上海市.dwg"}));

    // A byte that is no text: its line keeps it, the other lines are read.
    folder.Write("list.txt", EncodeGbk("D:\\图纸.dwg\r\n") + "D:\\\xFF.dwg\r\nD:\\b.dwg\r\n");
    LoadListFile(list, dialog.Ui());
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"D:\\b.dwg", "D:\\图纸.dwg", "D:\\\xFF.dwg"}));
    SaveListFile(list, dialog.Ui());
    EXPECT_EQ(folder.Read("list.txt"),
              "D:\\b.dwg\r\n" + EncodeGbk("D:\\图纸.dwg\r\n") + "D:\\\xFF.dwg\r\n");
}

TEST(ListFile, ACancelledOrFailedReadKeepsTheListAsItWas) {
    TempFolder folder;
    DrawingList list = ListOf({"keep.dwg"});
    DialogScript cancelled;
    LoadListFile(list, cancelled.Ui());
    EXPECT_EQ(cancelled.messages, (std::vector<std::string>{"读取文件被取消！"}));

    DialogScript missing{folder.File("missing.txt")};
    LoadListFile(list, missing.Ui());
    EXPECT_EQ(missing.messages, (std::vector<std::string>{"数据文件格式有误或操作不当！"}));

    DialogScript folderChosen{folder.Path()};
    LoadListFile(list, folderChosen.Ui());
    EXPECT_EQ(folderChosen.messages, (std::vector<std::string>{"读取文件被取消！"}));

    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"keep.dwg"}));
}

TEST(ListFile, ACancelledOrFailedSaveWritesNothing) {
    TempFolder folder;
    folder.Write("list.txt", "previous\r\n");
    DialogScript cancelled;
    SaveListFile(ListOf({"a.dwg"}), cancelled.Ui());
    EXPECT_EQ(cancelled.messages, (std::vector<std::string>{"保存文件被取消！"}));

    DialogScript folderChosen{folder.Path()};
    SaveListFile(ListOf({"a.dwg"}), folderChosen.Ui());
    EXPECT_EQ(folderChosen.messages, (std::vector<std::string>{"保存文件被取消！"}));

    DialogScript emptyName{std::string()};
    SaveListFile(ListOf({"a.dwg"}), emptyName.Ui());
    EXPECT_EQ(emptyName.messages, (std::vector<std::string>{"保存文件被取消！"}));

    DialogScript noFolder{folder.File("list.txt") + "/x.txt"};
    SaveListFile(ListOf({"a.dwg"}), noFolder.Ui());
    EXPECT_EQ(noFolder.messages, (std::vector<std::string>{"数据文件格式有误或操作不当！"}));

    EXPECT_EQ(folder.Read("list.txt"), "previous\r\n");
}

} // namespace
} // namespace kw

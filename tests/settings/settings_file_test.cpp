#include <gtest/gtest.h>

#include <fstream>

#include <cstdlib>
#include <filesystem>

#include "base/error.h"
#include "base/program_files.h"
#include "base/text_file.h"
#include "settings/settings_file.h"
#include "tests/support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kw {
namespace {

using test::TempFolder;

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    return text;
}

std::vector<std::string> Record(int i) {
    return {"Printer " + std::to_string(i), std::to_string(i), "25", i % 2 ? "True" : "False"};
}

std::string FileWithRecords(int count) {
    std::vector<std::string> lines = {"420", "5", "TK", "Blk", "xr"};
    for (int i = 1; i <= count; ++i)
        for (const auto& line : Record(i))
            lines.push_back(line);
    return Lines(lines);
}

void ExpectDefaults(const StoredSettings& values) {
    EXPECT_EQ(values.frameLength, "380");
    EXPECT_EQ(values.pointAllowance, "0");
    EXPECT_EQ(values.frameLayer, "图框");
    EXPECT_EQ(values.blockName, "RmTK");
    EXPECT_EQ(values.xrefName, "tk_xref");
}

TEST(SettingsFile, MissingFileGivesTheDefaultsAndTheFirstRunWritesNineLines) {
    TempFolder folder;
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    values.frameLength = "stale";
    PrinterTable printers;
    printers.records.push_back({"old", "1", "2", "True"});
    EXPECT_FALSE(file.Read(values, printers));
    ExpectDefaults(values);
    EXPECT_EQ(printers.RecordCount(), 0);
    EXPECT_FALSE(file.RejectedAtStartup());

    file.Write(values, printers, {"Office Plotter", "5", "25", false});
    EXPECT_EQ(folder.Read(kSettingsFileName),
              EncodeGbk(Lines(
                  {"380", "0", "图框", "RmTK", "tk_xref", "Office Plotter", "5", "25", "False"})));
}

TEST(SettingsFile, ReadsZeroOneAndAHundredRecords) {
    for (int count : {0, 1, 100}) {
        TempFolder folder;
        folder.Write(kSettingsFileName, FileWithRecords(count));
        SettingsFile file(folder.File(kSettingsFileName));
        StoredSettings values;
        PrinterTable printers;
        EXPECT_TRUE(file.Read(values, printers)) << count;
        EXPECT_EQ(values.frameLength, "420");
        EXPECT_EQ(values.xrefName, "xr");
        ASSERT_EQ(printers.RecordCount(), count);
        if (count > 0) {
            EXPECT_EQ(printers.records.back().printerName, "Printer " + std::to_string(count));
            EXPECT_EQ(printers.records.front().portraitFlag, "True");
        }
    }
}

TEST(SettingsFile, MalformedFilesAreRejectedWholeAndKeptAsBackupBeforeTheRewrite) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"101 records", FileWithRecords(101)},
        {"four lines", Lines({"420", "5", "TK", "Blk"})},
        {"half a record", FileWithRecords(1) + Lines({"Plotter", "5"})},
        {"extra empty line", FileWithRecords(1) + "\r\n"},
    };
    for (const auto& [name, content] : cases) {
        TempFolder folder;
        folder.Write(kSettingsFileName, content);
        SettingsFile file(folder.File(kSettingsFileName));
        StoredSettings values;
        PrinterTable printers;
        EXPECT_FALSE(file.Read(values, printers)) << name;
        ExpectDefaults(values);
        EXPECT_EQ(printers.RecordCount(), 0) << name;
        EXPECT_TRUE(file.RejectedAtStartup()) << name;

        file.Write(values, printers, {"P", "5", "25", true});
        EXPECT_EQ(folder.Read(std::string(kSettingsFileName) + ".bak"), content) << name;
        EXPECT_EQ(
            folder.Read(kSettingsFileName),
            EncodeGbk(Lines({"380", "0", "图框", "RmTK", "tk_xref", "P", "5", "25", "True"})));

        // Only the first rewrite keeps a copy: the backup still holds the user's file.
        file.Write(values, printers, {"Q", "1", "2", false});
        EXPECT_EQ(folder.Read(std::string(kSettingsFileName) + ".bak"), content) << name;
    }
}

TEST(SettingsFile, LineEndsMayBeCrLfOrALoneCr) {
    TempFolder folder;
    folder.Write(kSettingsFileName, "1\r2\r\n3\r4\r\n5\rP\r6\r7\rtrue");
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    EXPECT_EQ(values.frameLength, "1");
    EXPECT_EQ(values.xrefName, "5");
    ASSERT_EQ(printers.RecordCount(), 1);
    EXPECT_EQ(printers.records[0].offsetY, "7");
    EXPECT_EQ(printers.records[0].portraitFlag, "true");
}

TEST(SettingsFile, RecordsAreUpdatedInPlaceOrAppended) {
    TempFolder folder;
    SettingsFile file(folder.File(kSettingsFileName));
    PrinterTable printers;
    printers.records = {
        {"P", "1", "1", "False"}, {"Q", "2", "2", "False"}, {"P", "9", "9", "True"}};
    const StoredSettings values;

    file.Write(values, printers, {"P", "7", "8", true});
    file.Write(values, printers, {"p", "3", "4", false});
    file.Write(values, printers, {"", "5", "25", false});

    ASSERT_EQ(printers.RecordCount(), 5);
    EXPECT_EQ(printers.records[0].offsetX, "7");
    EXPECT_EQ(printers.records[0].portraitFlag, "True");
    EXPECT_EQ(printers.records[2].offsetX, "9"); // the duplicate is kept, untouched
    EXPECT_EQ(printers.records[3].printerName, "p");
    EXPECT_EQ(printers.records[4].printerName, "");

    PrinterTable reread;
    StoredSettings readValues;
    ASSERT_TRUE(file.Read(readValues, reread));
    ASSERT_EQ(reread.RecordCount(), 5);
    EXPECT_EQ(reread.records[4].offsetY, "25");
}

TEST(SettingsFile, AHundredAndFirstPrinterIsNotStoredAndTheOthersSurvive) {
    TempFolder folder;
    folder.Write(kSettingsFileName, FileWithRecords(100));
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    file.Write(values, printers, {"New printer", "1", "1", false});
    EXPECT_EQ(printers.RecordCount(), 100);
    EXPECT_FALSE(FindPrinterRecord(printers, "New printer"));
    PrinterTable reread;
    ASSERT_TRUE(file.Read(values, reread));
    EXPECT_EQ(reread.RecordCount(), 100);
    EXPECT_EQ(reread.records[99].printerName, "Printer 100");
}

TEST(SettingsFile, AFailedWriteReportsAFileErrorAndLeavesThePreviousFile) {
    TempFolder folder;
    const std::string original = FileWithRecords(2);
    folder.Write(kSettingsFileName, original);
    std::filesystem::permissions(folder.File(kSettingsFileName),
                                 std::filesystem::perms::owner_read |
                                     std::filesystem::perms::group_read);
    SettingsFile file(folder.File(kSettingsFileName));
    PrinterTable printers;
    try {
        file.Write({}, printers, {"P", "5", "25", false});
        FAIL() << "a read-only settings file was overwritten";
    } catch (const Error& error) {
        EXPECT_EQ(error.Number(), 70);
    }
    EXPECT_EQ(folder.Read(kSettingsFileName), original);

    // The replacement is written beside the file first; when that fails the file is untouched.
    std::filesystem::permissions(folder.File(kSettingsFileName), std::filesystem::perms::owner_all);
    std::filesystem::create_directory(folder.File(std::string(kSettingsFileName) + ".kwtmp"));
    EXPECT_THROW(file.Write({}, printers, {"P", "5", "25", false}), Error);
    EXPECT_EQ(folder.Read(kSettingsFileName), original);

    folder.Write("not-a-folder", "x");
    SettingsFile blocked(folder.File("not-a-folder") + "/" + kSettingsFileName);
    EXPECT_THROW(blocked.Write({}, printers, {"P", "5", "25", false}), Error);
}

TEST(SettingsFile, TextOutsideGbkSurvivesARoundTrip) {
#ifdef _WIN32
    if (!IsValidCodePage(54936))
        GTEST_SKIP() << "no GB18030 code page here (Wine)";
#endif
    TempFolder folder;
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    values.frameLayer = "图框";
    values.blockName = "図枠𠀀€";
    PrinterTable printers;
    file.Write(values, printers, {"打印机 ヶ", "5", "25", false});
    const std::string bytes = folder.Read(kSettingsFileName);
    EXPECT_NE(bytes.find("\xCD\xBC\xBF\xF2"), std::string::npos); // 图框 in GBK
    EXPECT_NE(bytes.find('\x80'), std::string::npos);             // the euro sign as GBK has it

    StoredSettings reread;
    PrinterTable rereadPrinters;
    ASSERT_TRUE(file.Read(reread, rereadPrinters));
    EXPECT_EQ(reread.frameLayer, "图框");
    EXPECT_EQ(reread.blockName, "図枠𠀀€");
    EXPECT_EQ(rereadPrinters.records[0].printerName, "打印机 ヶ");
}

TEST(SettingsFile, FindsTheFirstRecordWithExactlyTheName) {
    PrinterTable printers;
    printers.records = {
        {"P", "1", "1", "False"}, {"p", "2", "2", "False"}, {"P", "3", "3", "True"}};
    EXPECT_EQ(FindPrinterRecord(printers, "P"), 1);
    EXPECT_EQ(FindPrinterRecord(printers, "p"), 2);
    EXPECT_FALSE(FindPrinterRecord(printers, "P "));
}

TEST(SettingsFile, PortraitFlagsReadAsTruthValues) {
    EXPECT_TRUE(PortraitFromFlag("True"));
    EXPECT_TRUE(PortraitFromFlag("TRUE"));
    EXPECT_TRUE(PortraitFromFlag("true"));
    EXPECT_FALSE(PortraitFromFlag("fAlSe"));
    EXPECT_TRUE(PortraitFromFlag("-1"));
    EXPECT_TRUE(PortraitFromFlag("2.5"));
    EXPECT_FALSE(PortraitFromFlag("0"));
    for (const char* bad : {"yes", "", "1x", "nan", "0x1"}) {
        try {
            PortraitFromFlag(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& error) {
            EXPECT_EQ(error.Number(), 13) << bad;
        }
    }
}

TEST(SettingsFile, PathsJoinWithOneSeparator) {
    EXPECT_EQ(AppendFileName("C:\\", "Kestrelwick.ini"), "C:\\Kestrelwick.ini");
    EXPECT_EQ(AppendFileName("/opt/kw/", "Kestrelwick.ini"), "/opt/kw/Kestrelwick.ini");
#ifdef _WIN32
    EXPECT_EQ(AppendFileName("C:\\Tools", "Kestrelwick.ini"), "C:\\Tools\\Kestrelwick.ini");
#else
    EXPECT_EQ(AppendFileName("/opt/kw", "Kestrelwick.ini"), "/opt/kw/Kestrelwick.ini");
#endif
}

TEST(SettingsFile, FileExistsCountsOnlyANotFoundAnswerAsAbsent) {
    TempFolder folder;
    folder.Write("present", "x");
    EXPECT_TRUE(FileExists(folder.File("present")));
    EXPECT_FALSE(FileExists(folder.File("absent")));
    EXPECT_FALSE(FileExists(""));
    // A path through a file is "not a folder", not "not found".
#ifndef _WIN32
    EXPECT_TRUE(FileExists(folder.File("present") + "/below"));
#endif
}

TEST(SettingsFile, LivesInTheProgramFolderWhenWritableElseInTheUsersFolder) {
    TempFolder program;
    TempFolder user;
    EXPECT_EQ(SettingsFile::Locate(program.Path(), user.Path()).Path(),
              AppendFileName(program.Path(), kSettingsFileName));
    const std::string missing = program.File("not-there");
    const std::string userConfig = user.File("Kestrelwick");
    SettingsFile file = SettingsFile::Locate(missing, userConfig);
    EXPECT_EQ(file.Path(), AppendFileName(userConfig, kSettingsFileName));
    // The user's folder is made on the first write.
    PrinterTable printers;
    file.Write({}, printers, {"P", "5", "25", false});
    EXPECT_TRUE(FileExists(file.Path()));

    // An installed program writes the user's folder even where it could write its own, and
    // still reads a file left beside it.
    std::ofstream(program.File(kInstalledMarker)) << "installed\n";
    const SettingsFile installed = SettingsFile::Locate(program.Path(), userConfig);
    EXPECT_EQ(installed.Path(), AppendFileName(userConfig, kSettingsFileName));
}

TEST(SettingsFile, TheEnvironmentCanNameTheFolder) {
    TempFolder program;
    TempFolder chosen;
#ifdef _WIN32
    _putenv_s(kSettingsFolderVariable, chosen.Path().c_str());
#else
    setenv(kSettingsFolderVariable, chosen.Path().c_str(), 1);
#endif
    const std::string path = SettingsFile::Locate(program.Path(), program.Path()).Path();
#ifdef _WIN32
    _putenv_s(kSettingsFolderVariable, "");
#else
    unsetenv(kSettingsFolderVariable);
#endif
    EXPECT_EQ(path, AppendFileName(chosen.Path(), kSettingsFileName));
}

TEST(SettingsFile, AFileInAReadOnlyProgramFolderIsReadUntilTheUsersFolderHasOne) {
    TempFolder program;
    TempFolder user;
    program.Write(kSettingsFileName, FileWithRecords(3));
    const std::string userConfig = user.File("Kestrelwick");
    SettingsFile file = SettingsFile::Locate(program.Path(), false, userConfig);
    EXPECT_EQ(file.Path(), AppendFileName(userConfig, kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    EXPECT_EQ(values.frameLength, "420");
    ASSERT_EQ(printers.RecordCount(), 3);

    // Written to the user's folder, records and all; the program folder's file stays as it was,
    // and from now on the user's file is the one read.
    file.Write(values, printers, {"Printer 2", "7", "8", true});
    EXPECT_EQ(program.Read(kSettingsFileName), FileWithRecords(3));
    EXPECT_EQ(file.ReadPath(), file.Path());
    PrinterTable reread;
    ASSERT_TRUE(SettingsFile::Locate(program.Path(), false, userConfig).Read(values, reread));
    ASSERT_EQ(reread.RecordCount(), 3);
    EXPECT_EQ(reread.records[1].offsetX, "7");

    // A file of the user's own wins over the program folder's.
    TempFolder otherUser;
    otherUser.Write(kSettingsFileName, FileWithRecords(1));
    ASSERT_TRUE(SettingsFile::Locate(program.Path(), false, otherUser.Path()).Read(values, reread));
    EXPECT_EQ(reread.RecordCount(), 1);
}

TEST(SettingsFile, AnInstalledProgramKeepsSettingsInTheUsersFolderEvenWhereItCouldWrite) {
    // <prefix>/bin with the program and <prefix>/share/kestrelwick with its files; the test can
    // write to bin, as root can write to /usr/bin.
    TempFolder prefix;
    std::filesystem::create_directories(prefix.File("bin"));
    std::filesystem::create_directories(prefix.File("share/kestrelwick/TEMPLATE"));
    prefix.Write("share/kestrelwick/TEMPLATE/acad.dwt", "");
    prefix.Write("share/kestrelwick/Kestrelwick.ini", FileWithRecords(2));
    prefix.Write("bin/Kestrelwick.chm", "");
    namespace fs = std::filesystem;
    const std::string bin = (fs::path(prefix.Path()) / "bin").string();
    const std::string data = (fs::path(prefix.Path()) / "share" / "kestrelwick").string();

    EXPECT_TRUE(IsInstalledProgram(bin));
    EXPECT_FALSE(IsInstalledProgram(data));
    EXPECT_EQ(ProgramFileFolders(bin), (std::vector<std::string>{bin, data}));
    EXPECT_EQ(ProgramFileFolders(data), std::vector<std::string>{data});
    // The executable's folder first, then the data folder; the executable's folder for a file
    // that is nowhere.
    EXPECT_EQ(ProgramFilePath(bin, "Kestrelwick.chm"),
              (fs::path(bin) / "Kestrelwick.chm").string());
    EXPECT_EQ(ProgramFileFolder(bin, "TEMPLATE/acad.dwt"), data);
    EXPECT_EQ(ProgramFileFolder(bin, "Fonts"), bin);

    TempFolder user;
    SettingsFile file = SettingsFile::Locate(bin, user.Path());
    EXPECT_EQ(file.Path(), AppendFileName(user.Path(), kSettingsFileName));
    // The defaults an administrator left in the data folder are read until the user saves.
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    EXPECT_EQ(printers.RecordCount(), 2);
    file.Write(values, printers, {"P", "5", "25", false});
    EXPECT_TRUE(FileExists(file.Path()));
    // Nothing was written beside the program, not even to probe the folder.
    const auto written = std::distance(fs::directory_iterator(bin), fs::directory_iterator());
    EXPECT_EQ(written, 1);
}

TEST(SettingsFile, ABackupThatCannotBeMadeDoesNotStopTheSave) {
    TempFolder folder;
    folder.Write(kSettingsFileName, Lines({"420", "5"}));
    std::filesystem::create_directory(folder.File(std::string(kSettingsFileName) + ".bak"));
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    EXPECT_FALSE(file.Read(values, printers));
    ASSERT_TRUE(file.RejectedAtStartup());
    file.Write(values, printers, {"P", "5", "25", true});
    EXPECT_EQ(folder.Read(kSettingsFileName),
              EncodeGbk(Lines({"380", "0", "图框", "RmTK", "tk_xref", "P", "5", "25", "True"})));
    EXPECT_FALSE(file.RejectedAtStartup());
    file.Write(values, printers, {"Q", "1", "2", false});
    EXPECT_EQ(printers.RecordCount(), 2);
}

TEST(SettingsFile, NoFileIsRefusedForItsBytes) {
    // Saved as UTF-8 by an editor, with and without a byte order mark: read as UTF-8.
    const std::string utf8 =
        Lines({"420", "5", "图框二", "标题栏", "xr", "打印机", "1", "2", "True"});
    for (const std::string& content : {utf8, "\xEF\xBB\xBF" + utf8}) {
        TempFolder folder;
        folder.Write(kSettingsFileName, content);
        SettingsFile file(folder.File(kSettingsFileName));
        StoredSettings values;
        PrinterTable printers;
        ASSERT_TRUE(file.Read(values, printers));
        EXPECT_EQ(values.frameLength, "420");
        EXPECT_EQ(values.frameLayer, "图框二");
        EXPECT_EQ(values.blockName, "标题栏");
        ASSERT_EQ(printers.RecordCount(), 1);
        EXPECT_EQ(printers.records[0].printerName, "打印机");
    }
    // GBK with a byte that is neither: the rest is read, and the byte goes back as it came.
    const std::string damaged = EncodeGbk(Lines({"420", "5", "图框", "RmTK", "xr"}) + "打印机") +
                                "\xFF\x81" + Lines({"", "1", "2", "False"});
    TempFolder folder;
    folder.Write(kSettingsFileName, damaged);
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    EXPECT_EQ(values.frameLayer, "图框");
    ASSERT_EQ(printers.RecordCount(), 1);
    EXPECT_EQ(printers.records[0].printerName, "打印机\xFF\x81");
    file.Write(values, printers, {"打印机\xFF\x81", "1", "2", false});
    EXPECT_EQ(folder.Read(kSettingsFileName), damaged);
}

// The rule of the releases before the output options: five lines, then four-line printer
// records until the end, at most 100, or the whole file is refused.
struct EarlierReader {
    std::vector<std::string> values;
    std::vector<std::vector<std::string>> records;
    bool accepted = false;
};

EarlierReader ReadAsEarlierReleases(const std::string& path) {
    EarlierReader reader;
    const std::vector<std::string> lines = ReadTextLines(path);
    if (lines.size() < 5 || (lines.size() - 5) % 4 != 0 || (lines.size() - 5) / 4 > 100)
        return reader;
    reader.values.assign(lines.begin(), lines.begin() + 5);
    for (std::size_t i = 5; i < lines.size(); i += 4)
        reader.records.push_back({lines[i], lines[i + 1], lines[i + 2], lines[i + 3]});
    reader.accepted = true;
    return reader;
}

TEST(SettingsFile, AFileWithoutOutputOptionsReadsAndWritesBackUnchanged) {
    TempFolder folder;
    const std::string earlier = FileWithRecords(3);
    folder.Write(kSettingsFileName, earlier);
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    EXPECT_EQ(values.frameLength, "420");
    EXPECT_EQ(printers.RecordCount(), 3);
    EXPECT_TRUE(file.OutputSection().empty());
    file.Write(values, printers, {"Printer 2", "2", "25", false});
    EXPECT_EQ(folder.Read(kSettingsFileName), earlier);
}

TEST(SettingsFile, OutputOptionsSurviveARoundTripAndEarlierReleasesStillReadTheFile) {
    TempFolder folder;
    folder.Write(kSettingsFileName, FileWithRecords(2));
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    file.SetOutputSection({{"paper", "auto"}, {"name", "{图号}_{图名}"}, {"merge", "run"}});
    file.Write(values, printers, {"Printer 3", "7", "8", true});

    SettingsFile again(folder.File(kSettingsFileName));
    StoredSettings valuesAgain;
    PrinterTable printersAgain;
    ASSERT_TRUE(again.Read(valuesAgain, printersAgain));
    EXPECT_EQ(printersAgain.RecordCount(), 3); // the option groups are no printers
    EXPECT_EQ(printersAgain.records[2].printerName, "Printer 3");
    EXPECT_EQ(again.OutputSection().at("name"), "{图号}_{图名}");
    EXPECT_EQ(again.OutputSection().at("paper"), "auto");

    const EarlierReader earlier = ReadAsEarlierReleases(folder.File(kSettingsFileName));
    ASSERT_TRUE(earlier.accepted);
    EXPECT_EQ(earlier.values[0], "420");
    EXPECT_EQ(earlier.records.size(), 6u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(earlier.records[i][0], printersAgain.records[i].printerName);
    // What an earlier release takes for printers has a name no printer has, and a flag it reads.
    for (std::size_t i = 3; i < 6; ++i) {
        EXPECT_EQ(earlier.records[i][0], kOptionGroupName);
        EXPECT_FALSE(PortraitFromFlag(earlier.records[i][3]));
    }
}

TEST(SettingsFile, OutputOptionsAloneAreRewrittenAndEveryOtherLineKept) {
    TempFolder folder;
    SettingsFile missing(folder.File(kSettingsFileName));
    missing.SetOutputSection({{"paper", "auto"}});
    EXPECT_FALSE(missing.WriteOutputSection()); // the first run writes the file
    EXPECT_FALSE(std::filesystem::exists(folder.File(kSettingsFileName)));

    const std::string earlier = FileWithRecords(2);
    folder.Write(kSettingsFileName, earlier);
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    file.SetOutputSection({{"merge", "drawing"}});
    ASSERT_TRUE(file.WriteOutputSection());
    file.SetOutputSection({{"paper", "auto"}});
    ASSERT_TRUE(file.WriteOutputSection());
    EXPECT_EQ(folder.Read(kSettingsFileName),
              earlier + EncodeGbk(Lines({kOptionGroupName, "paper", "auto", "False"})));
}

TEST(SettingsFile, OptionGroupsCountAgainstTheHundredRecordsEarlierReleasesRead) {
    TempFolder folder;
    folder.Write(kSettingsFileName, FileWithRecords(98));
    SettingsFile file(folder.File(kSettingsFileName));
    StoredSettings values;
    PrinterTable printers;
    ASSERT_TRUE(file.Read(values, printers));
    file.SetOutputSection({{"paper", "auto"}, {"merge", "run"}});
    file.Write(values, printers, {"New printer", "1", "2", false});
    EXPECT_EQ(printers.RecordCount(), 98); // no room for the 99th: 98 + 2 groups
    EXPECT_TRUE(ReadAsEarlierReleases(folder.File(kSettingsFileName)).accepted);
    SettingsFile again(folder.File(kSettingsFileName));
    EXPECT_TRUE(again.Read(values, printers));
    EXPECT_EQ(again.OutputSection().size(), 2u);
}

} // namespace
} // namespace kw

#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kw {

// What is remembered of one printer; all four fields are texts as the controls held them.
struct PrinterRecord {
    std::string printerName;
    std::string offsetX;
    std::string offsetY;
    std::string portraitFlag; // "True" or "False" as written; any truth value when read
};

// Up to 100 remembered printers. A record keeps the position where it was first stored.
struct PrinterTable {
    static constexpr int kCapacity = 100;
    std::vector<PrinterRecord> records; // position k is records[k - 1]

    std::int16_t RecordCount() const { return static_cast<std::int16_t>(records.size()); }
};

// The five panel values the settings file keeps, as the boxes' texts.
struct StoredSettings {
    std::string frameLength = "380";
    std::string pointAllowance = "0";
    std::string frameLayer = "图框";
    std::string blockName = "RmTK";
    std::string xrefName = "tk_xref";
};

// The values of the panel that a run stores for the current printer.
struct CurrentPrinter {
    std::string printerName; // the printer list's text
    std::string offsetX;
    std::string offsetY;
    bool portrait = false;
};

inline constexpr const char* kSettingsFileName = "Kestrelwick.ini";

// The settings beyond the five panel values and the printers (the output options) are kept after
// the printer records as four-line groups shaped like records: this name, the key, the value and
// "False". Earlier releases read them as records of a printer that never exists and write them
// back unchanged; a name no printer has.
inline constexpr const char* kOptionGroupName = "[输出选项]";
inline constexpr const char* kSettingsFolderVariable = "KESTRELWICK_SETTINGS_DIR";

// Position (from 1) of the first record whose name equals `name` exactly, letter case significant.
std::optional<int> FindPrinterRecord(const PrinterTable& table, const std::string& name);

// "True"/"False" in any letter case, or a number (0 false, anything else true); Error 13 otherwise.
bool PortraitFromFlag(const std::string& portraitFlag);

// False only when the system answers that the file is not there (an empty path included); any
// other failure of the check counts as present, so the read that follows reports it.
bool FileExists(const std::string& path);

// Folder plus file name, with one separator: nothing is added when the folder already ends in one
// (a drive root such as "C:\").
std::string AppendFileName(const std::string& folder, const std::string& name);

// The per-user configuration folder of the program ($XDG_CONFIG_HOME or ~/.config, %APPDATA% on
// Windows, each followed by "Kestrelwick"); empty when the environment names none.
std::string UserConfigFolder();

// True when a file can be created in the folder.
bool FolderWritable(const std::string& folder);

// Where the settings file lives and what happened to it at start-up.
class SettingsFile {
public:
    // Reads and writes `path`; while `path` does not exist, reads `fallbackPath` instead.
    explicit SettingsFile(std::string path, std::string fallbackPath = {})
        : m_path(std::move(path)), m_fallbackPath(std::move(fallbackPath)) {}

    // The folder named by the environment variable KESTRELWICK_SETTINGS_DIR when it is set (a
    // test's own folder, or settings an administrator keeps elsewhere). Otherwise the program's
    // folder when a file can be written there (a portable install), else the user's
    // configuration folder; an installed program's folder (see IsInstalledProgram: an installer
    // put it there, or it has an installed data folder) never counts as writable. A file in the
    // program folder, or in an installed program's data folder, is still read while the user's
    // folder has none (earlier portable use, or put there by an administrator); the first write
    // then goes to the user's folder.
    static SettingsFile Locate(const std::string& programFolder,
                               const std::string& userConfigFolder);
    // The same with the answer of FolderWritable(programFolder) given.
    static SettingsFile Locate(const std::string& programFolder, bool programFolderWritable,
                               const std::string& userConfigFolder);

    // Where the file is written.
    const std::string& Path() const { return m_path; }
    // Where Read reads: Path(), or the program folder's file while Path() does not exist.
    std::string ReadPath() const;

    // Fills the five values and the table from the file. Never fails: a missing file gives the
    // defaults; an unreadable or malformed one gives the defaults and an empty table, and the file
    // is copied to "<name>.bak" before it is first rewritten. Returns false in both cases.
    bool Read(StoredSettings& values, PrinterTable& printers);

    // Updates or adds the record of the current printer (a 101st distinct printer is not stored;
    // the stored ones survive), then rewrites the whole file atomically. A backup that cannot be
    // made does not stop the write, and is not tried again. Throws Error.
    void Write(const StoredSettings& values, PrinterTable& printers, const CurrentPrinter& current);

    bool RejectedAtStartup() const { return m_rejected; }

    // The output options as the file held them (key → value); empty before Read and for a file
    // without them. Write writes what is set here.
    const std::map<std::string, std::string>& OutputSection() const { return m_outputSection; }
    void SetOutputSection(std::map<std::string, std::string> section) {
        m_outputSection = std::move(section);
    }
    // Rewrites the file's option groups alone, every other line as the file holds it. False, and
    // nothing written, when there is no usable file yet (the next run's Write makes it) or when the
    // groups would take the file past the hundred records earlier releases read. Throws Error
    // when the file cannot be written.
    bool WriteOutputSection();

private:
    std::string m_path;
    std::string m_fallbackPath;
    bool m_rejected = false;
    std::map<std::string, std::string> m_outputSection;
};

} // namespace kw

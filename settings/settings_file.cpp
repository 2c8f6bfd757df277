#include "settings/settings_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string_view>
#include <system_error>

#include "base/characters.h"
#include "base/error.h"
#include "base/paths.h"
#include "base/program_files.h"
#include "base/text_file.h"

namespace kw {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

// The whole text is one decimal number.
bool ParseWholeNumber(const std::string& text, double& value) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_of("xXnNpP") != std::string_view::npos)
        return false;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return result.ec == std::errc() && result.ptr == digits.data() + digits.size();
}

} // namespace

std::optional<int> FindPrinterRecord(const PrinterTable& table, const std::string& name) {
    for (std::size_t i = 0; i < table.records.size(); ++i)
        if (table.records[i].printerName == name)
            return static_cast<int>(i) + 1;
    return std::nullopt;
}

bool PortraitFromFlag(const std::string& portraitFlag) {
    const std::string text = TrimBlanks(portraitFlag);
    const std::string lowered = AsciiLower(text);
    if (lowered == "true")
        return true;
    if (lowered == "false")
        return false;
    double value = 0.0;
    if (ParseWholeNumber(text, value))
        return value != 0.0;
    throw Error(errors::kTypeMismatch, "Type mismatch");
}

bool FileExists(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code code;
    const auto status = std::filesystem::status(PathFromUtf8(path), code);
    if (code)
        return code != std::errc::no_such_file_or_directory;
    return std::filesystem::exists(status);
}

std::string AppendFileName(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    const char last = folder.back();
    if (last == '\\' || last == '/')
        return folder + name;
    return folder + kSeparator + name;
}

std::string UserConfigFolder() {
#ifdef _WIN32
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData && *appData)
        return AppendFileName(NarrowUtf16(appData), "Kestrelwick");
    return {};
#else
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/')
        return AppendFileName(xdg, "Kestrelwick");
    const char* home = std::getenv("HOME");
    if (home && *home)
        return AppendFileName(AppendFileName(home, ".config"), "Kestrelwick");
    return {};
#endif
}

bool FolderWritable(const std::string& folder) {
    std::error_code code;
    const auto path = PathFromUtf8(folder);
    if (!std::filesystem::is_directory(path, code))
        return false;
    std::random_device random;
    const auto probe = path / ("kw-write-probe-" + std::to_string(random()));
    {
        std::ofstream out(probe, std::ios::binary);
        if (!out)
            return false;
    }
    std::filesystem::remove(probe, code);
    return true;
}

SettingsFile SettingsFile::Locate(const std::string& programFolder,
                                  const std::string& userConfigFolder) {
    const char* chosen = std::getenv(kSettingsFolderVariable);
    if (chosen && *chosen)
        return SettingsFile(AppendFileName(chosen, kSettingsFileName));
    // An installed program's folder (/usr/bin) is the system's even where it can be written, as
    // by root: not even the write probe goes there.
    const bool portable = !IsInstalledProgram(programFolder) && FolderWritable(programFolder);
    return Locate(programFolder, portable, userConfigFolder);
}

SettingsFile SettingsFile::Locate(const std::string& programFolder, bool programFolderWritable,
                                  const std::string& userConfigFolder) {
    if (programFolderWritable || userConfigFolder.empty())
        return SettingsFile(AppendFileName(programFolder, kSettingsFileName));
    // Read while the user has none: a file beside the program, or in an installed program's data
    // folder (defaults an administrator put there).
    return SettingsFile(AppendFileName(userConfigFolder, kSettingsFileName),
                        ProgramFilePath(programFolder, kSettingsFileName));
}

std::string SettingsFile::ReadPath() const {
    if (m_fallbackPath.empty() || FileExists(m_path) || !FileExists(m_fallbackPath))
        return m_path;
    return m_fallbackPath;
}

bool SettingsFile::Read(StoredSettings& values, PrinterTable& printers) {
    values = StoredSettings{};
    printers.records.clear();
    m_outputSection.clear();
    const std::string path = ReadPath();
    if (!FileExists(path))
        return false;
    try {
        const std::vector<std::string> lines = ReadTextLines(path);
        if (lines.size() < 5)
            throw Error(errors::kPathFileAccess, "settings file too short");
        PrinterTable table;
        std::map<std::string, std::string> section;
        std::size_t groups = 0;
        std::size_t next = 5;
        while (next < lines.size()) {
            // Counted together, as earlier releases count them, so that they read this file.
            if (groups >= PrinterTable::kCapacity)
                throw Error(errors::kSubscriptOutOfRange, "too many printer records");
            if (next + 4 > lines.size())
                throw Error(errors::kPathFileAccess, "incomplete printer record");
            if (lines[next] == kOptionGroupName)
                section[lines[next + 1]] = lines[next + 2];
            else
                table.records.push_back(
                    {lines[next], lines[next + 1], lines[next + 2], lines[next + 3]});
            ++groups;
            next += 4;
        }
        values = {lines[0], lines[1], lines[2], lines[3], lines[4]};
        printers = std::move(table);
        m_outputSection = std::move(section);
        return true;
    } catch (const Error&) {
        values = StoredSettings{};
        printers.records.clear();
        m_rejected = true;
        return false;
    }
}

void SettingsFile::Write(const StoredSettings& values, PrinterTable& printers,
                         const CurrentPrinter& current) {
    const std::string flag = current.portrait ? "True" : "False";
    if (const auto position = FindPrinterRecord(printers, current.printerName)) {
        PrinterRecord& record = printers.records[static_cast<std::size_t>(*position - 1)];
        record.offsetX = current.offsetX;
        record.offsetY = current.offsetY;
        record.portraitFlag = flag;
    } else if (printers.records.size() + m_outputSection.size() < PrinterTable::kCapacity) {
        // The option groups count against the hundred an earlier release reads.
        printers.records.push_back({current.printerName, current.offsetX, current.offsetY, flag});
    }

    const auto path = PathFromUtf8(m_path);
    std::error_code code;
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), code);
    if (m_rejected) {
        // Keep the file we could not read, hand-edited records and all, before replacing it. A
        // copy that cannot be made (a read-only ".bak", a folder of that name) must not cost the
        // settings being saved now, nor every later save.
        if (std::filesystem::exists(path, code)) {
            auto backup = path;
            backup += ".bak";
            std::filesystem::copy_file(path, backup,
                                       std::filesystem::copy_options::overwrite_existing, code);
        }
        m_rejected = false;
    }

    std::vector<std::string> lines = {values.frameLength, values.pointAllowance, values.frameLayer,
                                      values.blockName, values.xrefName};
    for (const auto& record : printers.records) {
        lines.push_back(record.printerName);
        lines.push_back(record.offsetX);
        lines.push_back(record.offsetY);
        lines.push_back(record.portraitFlag);
    }
    for (const auto& [key, value] : m_outputSection) {
        std::string oneLine = value;
        std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        lines.insert(lines.end(), {kOptionGroupName, key, oneLine, "False"});
    }
    WriteTextLines(m_path, lines);
}

bool SettingsFile::WriteOutputSection() {
    if (m_rejected || !FileExists(m_path))
        return false;
    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(m_path);
    } catch (const Error&) {
        return false;
    }
    if (lines.size() < 5 || (lines.size() - 5) % 4 != 0)
        return false;
    std::vector<std::string> kept(lines.begin(), lines.begin() + 5);
    for (std::size_t i = 5; i < lines.size(); i += 4)
        if (lines[i] != kOptionGroupName)
            kept.insert(kept.end(), lines.begin() + static_cast<std::ptrdiff_t>(i),
                        lines.begin() + static_cast<std::ptrdiff_t>(i + 4));
    if ((kept.size() - 5) / 4 + m_outputSection.size() > PrinterTable::kCapacity)
        return false;
    for (const auto& [key, value] : m_outputSection) {
        std::string oneLine = value;
        std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
        std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
        kept.insert(kept.end(), {kOptionGroupName, key, oneLine, "False"});
    }
    WriteTextLines(m_path, kept);
    return true;
}

} // namespace kw

#include "builtin/dwg_conversion.h"

#include <QCryptographicHash>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "base/paths.h"
#include "base/program_files.h"
#include "base/text_file.h"
#include "builtin/builtin_objects.h"
#include "drawing/dxf_io.h"
#include "drawing/extents.h"

namespace kw::builtin {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kStderrKept = 16 * 1024;
constexpr auto kUnusedCacheAge = std::chrono::hours(24 * 30);

// The last few lines the converter wrote, on one line, for the error message.
std::string StderrTail(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = TrimWhitespace(text.substr(start, end - start));
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    std::string tail;
    for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i) {
        tail += (tail.empty() ? "" : " / ") + lines[i];
    }
    return tail;
}

struct ProcessResult {
    bool started = false;
    std::string startError;
    int exitStatus = -1; // when it ended by itself
    int signal = 0;      // when a signal ended it
    bool timedOut = false;
    bool outOfMemory = false;
    std::string errorOutput;
};

#ifndef _WIN32

// Resident memory of a process in kilobytes (0 when the system does not say).
std::int64_t ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atoll(line.c_str() + 6);
        }
    }
    return 0;
}

// Runs a program with stdin and stdout on /dev/null and stderr kept. The program gets a process
// group of its own, so that stopping it stops whatever it started.
ProcessResult RunLimited(const std::vector<std::string>& arguments, int timeLimitSeconds,
                         std::int64_t memoryLimitMb) {
    ProcessResult result;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        result.startError = "cannot make a pipe";
        return result;
    }
    ::fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawnError =
        ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeFds[1]);
    if (spawnError != 0) {
        ::close(pipeFds[0]);
        result.startError = std::error_code(spawnError, std::generic_category()).message();
        return result;
    }
    result.started = true;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    const std::int64_t memoryLimitKb = memoryLimitMb * 1024;
    bool pipeOpen = true;
    int status = 0;
    for (;;) {
        if (pipeOpen) {
            pollfd entry{pipeFds[0], POLLIN, 0};
            if (::poll(&entry, 1, 50) > 0) {
                char buffer[4096];
                const ssize_t count = ::read(pipeFds[0], buffer, sizeof buffer);
                if (count > 0) {
                    result.errorOutput.append(buffer, static_cast<std::size_t>(count));
                    if (result.errorOutput.size() > 2 * kStderrKept) {
                        result.errorOutput.erase(0, result.errorOutput.size() - kStderrKept);
                    }
                } else {
                    pipeOpen = false;
                }
            }
        } else {
            ::usleep(50 * 1000);
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        const bool late = std::chrono::steady_clock::now() > deadline;
        const bool large = memoryLimitKb > 0 && ResidentKb(pid) > memoryLimitKb;
        if (late || large) {
            result.timedOut = late;
            result.outOfMemory = !late && large;
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
    }
    ::close(pipeFds[0]);
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    if (result.errorOutput.size() > kStderrKept) {
        result.errorOutput.erase(0, result.errorOutput.size() - kStderrKept);
    }
    return result;
}

bool IsExecutable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

#else

// One argument quoted as CommandLineToArgvW and the C runtime read it back.
std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != argument.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? NarrowUtf16(text) : "";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(code) : message;
}

// Runs a program with stdin and stdout on NUL and stderr kept, in a job object of its own, so
// that stopping it stops whatever it started and its committed memory can be watched.
ProcessResult RunLimited(const std::vector<std::string>& arguments, int timeLimitSeconds,
                         std::int64_t memoryLimitMb) {
    ProcessResult result;
    std::wstring commandLine;
    for (const std::string& argument : arguments) {
        commandLine += (commandLine.empty() ? L"" : L" ") + QuoteArgument(WidenUtf8(argument));
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        result.startError = "cannot make a pipe: " + SystemMessage(GetLastError());
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = writeEnd;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr) {
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD startFailure = started ? 0 : GetLastError();
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) {
        CloseHandle(nul);
    }
    if (!started) {
        CloseHandle(readEnd);
        if (job != nullptr) {
            CloseHandle(job);
        }
        result.startError = SystemMessage(startFailure);
        return result;
    }
    if (job != nullptr) {
        AssignProcessToJobObject(job, process.hProcess);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    result.started = true;

    auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD count = 0;
            if (!ReadFile(readEnd, buffer, sizeof buffer, &count, nullptr) || count == 0) {
                break;
            }
            result.errorOutput.append(buffer, count);
            if (result.errorOutput.size() > 2 * kStderrKept) {
                result.errorOutput.erase(0, result.errorOutput.size() - kStderrKept);
            }
        }
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    const std::uint64_t memoryLimit = static_cast<std::uint64_t>(memoryLimitMb) * 1024 * 1024;
    for (;;) {
        drain();
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            drain();
            break;
        }
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION used{};
        const bool large = job != nullptr && memoryLimit > 0 &&
                           QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &used,
                                                     sizeof used, nullptr) &&
                           used.PeakJobMemoryUsed > memoryLimit;
        const bool late = std::chrono::steady_clock::now() > deadline;
        if (late || large) {
            result.timedOut = late;
            result.outOfMemory = !late && large;
            if (job != nullptr) {
                TerminateJobObject(job, 1);
            } else {
                TerminateProcess(process.hProcess, 1);
            }
            WaitForSingleObject(process.hProcess, 10000);
            break;
        }
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (!result.timedOut && !result.outOfMemory) {
        result.exitStatus = static_cast<int>(exitCode);
    }
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    if (job != nullptr) {
        CloseHandle(job);
    }
    if (result.errorOutput.size() > kStderrKept) {
        result.errorOutput.erase(0, result.errorOutput.size() - kStderrKept);
    }
    return result;
}

bool IsExecutable(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

#endif

std::string FindNode(const DwgConverterOptions& options, const std::string& programFolder) {
    if (!options.node.empty()) {
        return IsExecutable(PathFromUtf8(options.node)) ? options.node : "";
    }
#ifdef _WIN32
    // The installer puts its own Node.js beside the converter.
    if (const fs::path shipped = PathFromUtf8(programFolder) / "node" / "node.exe";
        IsExecutable(shipped)) {
        return Utf8FromPath(shipped);
    }
#else
    (void)programFolder;
#endif
    const char* pathVariable = std::getenv("PATH");
    if (pathVariable == nullptr) {
        return "";
    }
#ifdef _WIN32
    const char separator = ';';
    const std::array<const char*, 2> names = {"node.exe", "nodejs.exe"};
#else
    const char separator = ':';
    const std::array<const char*, 2> names = {"node", "nodejs"};
#endif
    for (const char* name : names) {
        std::string folders = pathVariable;
        std::size_t start = 0;
        while (start <= folders.size()) {
            std::size_t end = folders.find(separator, start);
            if (end == std::string::npos) {
                end = folders.size();
            }
            const std::string folder = folders.substr(start, end - start);
            const fs::path candidate = PathFromUtf8(folder.empty() ? "." : folder) / name;
            if (IsExecutable(candidate)) {
                return Utf8FromPath(candidate);
            }
            start = end + 1;
        }
    }
    return "";
}

std::string ScriptPath(const DwgConverterOptions& options, const std::string& programFolder) {
    if (!options.script.empty()) {
        return options.script;
    }
    return ProgramFilePath(programFolder, "dwg2dxf/kw-dwg2dxf.mjs");
}

fs::path CacheFolder(const DwgConverterOptions& options) {
    if (!options.cacheFolder.empty()) {
        return PathFromUtf8(options.cacheFolder);
    }
#ifdef _WIN32
    if (const wchar_t* local = _wgetenv(L"LOCALAPPDATA"); local != nullptr && *local != L'\0') {
        return fs::path(local) / "Kestrelwick" / "dwg";
    }
#else
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') {
        return fs::path(cache) / "Kestrelwick" / "dwg";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".cache" / "Kestrelwick" / "dwg";
    }
#endif
    return fs::temp_directory_path() / "Kestrelwick-dwg";
}

bool ReadFile(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The cache key: the drawing's content and the converter that converts it (its script and the
// locked library version), so that an updated converter converts again.
std::string CacheKey(const std::string& drawingBytes, const fs::path& script) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const fs::path& part : {script, script.parent_path() / "package-lock.json"}) {
        std::string bytes;
        if (ReadFile(part, bytes)) {
            hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        }
        hash.addData(QByteArrayView("\0", 1));
    }
    hash.addData(QByteArrayView(drawingBytes.data(), static_cast<qsizetype>(drawingBytes.size())));
    return hash.result().toHex().toStdString();
}

// Converted drawings nobody has opened for a month go; the rest stay as the cache.
void PruneCache(const fs::path& folder) {
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code entryError;
        if (it->path().extension() != ".dxf") {
            continue;
        }
        const auto written = it->last_write_time(entryError);
        if (!entryError && now - written > kUnusedCacheAge) {
            fs::remove(it->path(), entryError);
        }
    }
}

struct Release {
    const char* version;
    const char* name;
};

constexpr Release kReleases[] = {
    {"AC1.2", "1.2"},   {"AC1.40", "1.40"}, {"AC1.50", "2.0"},  {"AC2.10", "2.10"},
    {"AC2.21", "2.21"}, {"AC2.22", "2.22"}, {"AC1001", "2.22"}, {"AC1002", "2.5"},
    {"AC1003", "2.6"},  {"AC1004", "R9"},   {"AC1006", "R10"},  {"AC1009", "R11/R12"},
    {"AC1012", "R13"},  {"AC1014", "R14"},  {"AC1015", "2000"}, {"AC1018", "2004"},
    {"AC1021", "2007"}, {"AC1024", "2010"}, {"AC1027", "2013"}, {"AC1032", "2018"},
};

// The version string at the start of a DWG file ("AC1015"), "" when there is none.
std::string DwgVersion(std::string_view header) {
    if (header.size() < 6 || header.substr(0, 2) != "AC") {
        return "";
    }
    std::string version(header.substr(0, 6));
    for (std::size_t i = 2; i < version.size(); ++i) {
        const char c = version[i];
        if (!((c >= '0' && c <= '9') || c == '.')) {
            // Release 1.2 writes "AC1.2" and pads with a NUL.
            if (i == 5 && c == '\0') {
                version.resize(5);
                break;
            }
            return "";
        }
    }
    return version;
}

bool IsKnownRelease(const std::string& version) {
    return std::any_of(std::begin(kReleases), std::end(kReleases),
                       [&](const Release& r) { return version == r.version; });
}

bool IsPreR13(const std::string& version) {
    return version < "AC1012" || version.find('.') != std::string::npos;
}

} // namespace

std::string DwgReleaseName(std::string_view header) {
    const std::string version = DwgVersion(header);
    if (version.empty()) {
        return "";
    }
    for (const Release& release : kReleases) {
        if (version == release.version) {
            return std::string(release.name) + " (" + version + ")";
        }
    }
    return version;
}

std::string ConvertDwg(const std::string& dwgPath, const DwgConverterOptions& options,
                       const std::string& programFolder) {
    std::error_code error;
    if (!fs::is_regular_file(PathFromUtf8(dwgPath), error)) {
        Fail(errors::kSystemFileNotFound, dwgPath + ": file not found");
    }
    std::string bytes;
    if (!ReadFile(PathFromUtf8(dwgPath), bytes)) {
        Fail(errors::kCannotOpen, dwgPath + ": the file cannot be read (permission?)");
    }
    const std::string version = DwgVersion(bytes);
    if (version.empty()) {
        Fail(errors::kCannotOpen,
             dwgPath + ": not a DWG drawing (the file does not start with a DWG version string" +
                 (bytes.empty() ? ", it is empty" : "") +
                 "); check that it is the drawing you meant, or open it in the program that "
                 "made it and save it again");
    }
    const std::string drawing = dwgPath + " (DWG release " + DwgReleaseName(bytes) + ")";
    const std::string saveAsDxf = "open it in a CAD program and save it as DXF";
    if (!IsKnownRelease(version)) {
        Fail(errors::kCannotOpen, drawing + ": a DWG release the converter does not read; " +
                                      saveAsDxf + " or as DWG 2018 or older");
    }

    const fs::path script = PathFromUtf8(ScriptPath(options, programFolder));
    const fs::path cache = CacheFolder(options);
    const std::string key = CacheKey(bytes, script);
    const fs::path converted = cache / (key + ".dxf");
    if (fs::is_regular_file(converted, error)) {
        fs::last_write_time(converted, fs::file_time_type::clock::now(), error);
        return Utf8FromPath(converted);
    }

    const std::string node = FindNode(options, programFolder);
    if (node.empty()) {
        Fail(errors::kCannotOpen,
             drawing + ": DWG drawings are converted by Node.js, and " +
                 (options.node.empty() ? std::string("no \"node\" program was found in PATH")
                                       : "\"" + options.node + "\" was not found") +
                 "; install Node.js 18 or later (on Debian: apt-get install nodejs npm, or run "
                 "scripts/setup-debian.sh) or " +
                 saveAsDxf);
    }
    if (!fs::is_regular_file(script, error)) {
        Fail(errors::kCannotOpen,
             drawing + ": the DWG converter " + Utf8FromPath(script) +
                 " is missing; install the program again (scripts/setup-debian.sh and a new "
                 "build) or " +
                 saveAsDxf);
    }
    fs::create_directories(cache, error);
    if (!fs::is_directory(cache, error)) {
        Fail(errors::kCannotOpen,
             drawing + ": the folder for converted drawings " + Utf8FromPath(cache) +
                 " cannot be made; check its permissions and the free disk space");
    }

#ifndef _WIN32
    const std::string processId = std::to_string(::getpid());
#else
    const std::string processId = std::to_string(GetCurrentProcessId());
#endif
    const fs::path partial = cache / (key + "." + processId + ".part");
    const ProcessResult run =
        RunLimited({node, Utf8FromPath(script), dwgPath, Utf8FromPath(partial)},
                   options.timeLimitSeconds, options.memoryLimitMb);
    const std::string said = StderrTail(run.errorOutput);
    const std::string saidPart = said.empty() ? "" : " (converter: " + said + ")";
    auto fail = [&](const std::string& what) {
        fs::remove(partial, error);
        Fail(errors::kCannotOpen, drawing + ": " + what);
    };
    if (!run.started) {
        fail("the DWG converter could not be started with " + node + ": " + run.startError + "; " +
             saveAsDxf);
    }
    if (run.timedOut) {
        fail("the conversion took longer than " + std::to_string(options.timeLimitSeconds) +
             " s and was stopped; " + saveAsDxf + ", or check that the file is not damaged");
    }
    if (run.outOfMemory) {
        fail("the conversion needed more than " + std::to_string(options.memoryLimitMb) +
             " MB of memory and was stopped; " + saveAsDxf +
             ", or check that the file is not "
             "damaged");
    }
    if (run.signal != 0) {
        fail("the DWG converter ended abnormally (signal " + std::to_string(run.signal) + ")" +
             saidPart + "; the file may be damaged: " + saveAsDxf + " (RECOVER first)");
    }
    if (run.exitStatus == 3) {
        fail("the DWG converter's library is not installed" + saidPart +
             "; run scripts/setup-debian.sh (it runs npm ci in dwg2dxf/) or " + saveAsDxf);
    }
    if (run.exitStatus == 5 && IsPreR13(version)) {
        fail("the converter reads releases before R13 only in part and cannot read this "
             "drawing" +
             saidPart + "; " + saveAsDxf + " or as DWG 2000 or later");
    }
    if (run.exitStatus == 5) {
        fail("the converter cannot read the drawing: the file is damaged or incomplete" + saidPart +
             "; open it in a CAD program, repair it with RECOVER and save it again "
             "(as DXF, or as DWG), or get a new copy of it");
    }
    if (run.exitStatus != 0) {
        fail("the DWG converter failed (exit status " + std::to_string(run.exitStatus) + ")" +
             saidPart + "; it needs Node.js 18 or later (node --version tells), or " + saveAsDxf);
    }
    if (!fs::is_regular_file(partial, error)) {
        fail("the DWG converter wrote no drawing" + saidPart + "; " + saveAsDxf);
    }
    fs::rename(partial, converted, error);
    if (error) {
        fail("the converted drawing cannot be stored in " + Utf8FromPath(cache) + ": " +
             error.message());
    }
    PruneCache(cache);
    return Utf8FromPath(converted);
}

drawing::Document LoadDwgDrawing(const std::string& dwgPath, const DwgConverterOptions& options,
                                 const std::string& programFolder, bool keepBytes) {
    const std::string dxf = ConvertDwg(dwgPath, options, programFolder);
    drawing::Document document;
    try {
        // The built-in CAD never writes a drawing opened from DWG (the converter cannot write
        // DWG faithfully): the converted file's bytes are kept only for drawings of its frames.
        document = drawing::LoadDrawing(dxf, {.keep = keepBytes ? drawing::KeepBytes::ForSave
                                                                : drawing::KeepBytes::ForReading});
    } catch (const Error& failure) {
        // A conversion that stopped early must not be found in the cache next time.
        std::error_code error;
        fs::remove(PathFromUtf8(dxf), error);
        Fail(errors::kCannotOpen,
             dwgPath + ": the drawing converted from DWG cannot be read: " + failure.Description());
    }
    document.path = dwgPath;
    return document;
}

void ConvertDwgXrefs(drawing::Document& document, const DwgConverterOptions& options,
                     const std::string& programFolder, std::vector<std::string>& failures) {
    for (drawing::Block& block : document.blocks) {
        if (!block.IsXref()) {
            continue;
        }
        const std::string file = drawing::FindXrefFile(document.path, block.xrefPath);
        if (!HasExtension(file, ".dwg")) {
            continue;
        }
        try {
            block.xrefPath = ConvertDwg(file, options, programFolder);
        } catch (const CadError& failure) {
            failures.push_back("external reference " + block.name + ": " + failure.Description());
        }
    }
}

} // namespace kw::builtin

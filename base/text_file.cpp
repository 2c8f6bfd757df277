#include "base/text_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/characters.h"
#include "base/error.h"
#include "base/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace kw {
namespace {

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0xC0)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return 4;
}

#ifdef _WIN32

std::wstring Widen(const std::string& utf8, UINT codePage, DWORD flags) {
    if (utf8.empty())
        return {};
    const int size = MultiByteToWideChar(codePage, flags, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0)
        throw Error(errors::kTypeMismatch, "text is not valid in its code page");
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        size);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage, bool* lossy) {
    if (wide.empty())
        return {};
    BOOL usedDefault = FALSE;
    const bool checkDefault = codePage != CP_UTF8 && codePage != 54936;
    const int size = WideCharToMultiByte(codePage, checkDefault ? WC_NO_BEST_FIT_CHARS : 0,
                                         wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, checkDefault ? &usedDefault : nullptr);
    if (size <= 0)
        throw Error(errors::kTypeMismatch, "text cannot be converted");
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, checkDefault ? WC_NO_BEST_FIT_CHARS : 0, wide.data(),
                        static_cast<int>(wide.size()), narrow.data(), size, nullptr,
                        checkDefault ? &usedDefault : nullptr);
    if (lossy)
        *lossy = usedDefault != FALSE;
    return narrow;
}

std::string EncodeCharacter(const std::string& utf8Character) {
    const std::wstring wide = Widen(utf8Character, CP_UTF8, MB_ERR_INVALID_CHARS);
    bool lossy = false;
    std::string gbk = Narrow(wide, 936, &lossy);
    if (!lossy)
        return gbk;
    return Narrow(wide, 54936, nullptr);
}

#else

class Converter {
public:
    Converter(const char* to, const char* from) : m_handle(iconv_open(to, from)) {
        if (m_handle == reinterpret_cast<iconv_t>(-1))
            throw Error(errors::kTypeMismatch,
                        std::string("no converter from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_handle); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts all of `in`; false when a sequence cannot be converted (nothing is appended then).
    bool Convert(const std::string& in, std::string& out) {
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        std::string buffer(in.size() * 4 + 16, '\0');
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        if (iconv(m_handle, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        if (iconv(m_handle, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        out.append(buffer.data(), buffer.size() - outLeft);
        return true;
    }

private:
    iconv_t m_handle;
};

#endif

} // namespace

std::string EncodeGbk(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
#ifndef _WIN32
    Converter gbk("GBK", "UTF-8");
    Converter gb18030("GB18030", "UTF-8");
#endif
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(lead);
        const std::string character = utf8.substr(i, length);
        if (i + length > utf8.size() || !IsValidUtf8(character)) {
            // A byte carried through from a file that could not be decoded goes back as it was.
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
#ifdef _WIN32
        out += EncodeCharacter(character);
#else
        if (!gbk.Convert(character, out) && !gb18030.Convert(character, out))
            throw Error(errors::kTypeMismatch, "text is not valid UTF-8");
#endif
        i += length;
    }
    return out;
}

std::string DecodeGb18030(const std::string& bytes, bool* complete) {
    if (complete)
        *complete = true;
    bool ascii = true;
    for (unsigned char c : bytes)
        ascii = ascii && c < 0x80;
    if (ascii)
        return bytes;
#ifndef _WIN32
    Converter gb18030("UTF-8", "GB18030");
#endif
    auto decode = [&](const std::string& sequence, std::string& out) {
#ifdef _WIN32
        // Wine lacks code page 54936; GBK, which it has, reads all but the four-byte forms.
        static const UINT codePage = IsValidCodePage(54936) ? 54936 : 936;
        try {
            out += Narrow(Widen(sequence, codePage, MB_ERR_INVALID_CHARS), CP_UTF8, nullptr);
            return true;
        } catch (const Error&) {
            return false;
        }
#else
        return gb18030.Convert(sequence, out);
#endif
    };
    auto carry = [&](std::string_view stray, std::string& out) {
        out += stray;
        if (complete)
            *complete = false;
    };
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    // Runs of well-formed text are converted whole; a run the converter refuses is taken again
    // character by character, so only what cannot be read is carried through.
    auto flush = [&](std::size_t start, std::size_t end) {
        if (start == end)
            return;
        const std::string run = bytes.substr(start, end - start);
        if (decode(run, out))
            return;
        for (std::size_t i = start; i < end;) {
            std::size_t length = 1;
            if (at(i) >= 0x80 && i + 1 < end)
                length = at(i + 1) >= 0x30 && at(i + 1) <= 0x39 ? 4 : 2;
            if (i + length > end)
                length = 1;
            if (decode(bytes.substr(i, length), out)) {
                i += length;
                continue;
            }
            // A two-byte pair's second byte may be text of its own; a four-byte form is one.
            const std::size_t carried = length == 4 ? 4 : 1;
            carry(std::string_view(bytes).substr(i, carried), out);
            i += carried;
        }
    };
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = at(i);
        if (c < 0x80) {
            ++i;
        } else if (c >= 0x81 && c <= 0xFE && i + 1 < bytes.size() && at(i + 1) >= 0x40 &&
                   at(i + 1) <= 0xFE && at(i + 1) != 0x7F) {
            i += 2;
        } else if (c >= 0x81 && c <= 0xFE && i + 3 < bytes.size() && at(i + 1) >= 0x30 &&
                   at(i + 1) <= 0x39 && at(i + 2) >= 0x81 && at(i + 2) <= 0xFE &&
                   at(i + 3) >= 0x30 && at(i + 3) <= 0x39) {
            i += 4;
        } else {
            flush(start, i);
            if (c == 0x80)
                out += "\xE2\x82\xAC"; // GB18030 has no single 0x80; GBK files mean the euro sign
            else
                carry(std::string_view(bytes).substr(i, 1), out);
            start = ++i;
        }
    }
    flush(start, i);
    return out;
}

std::string DecodeTextFile(const std::string& bytes) {
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 &&
        IsValidUtf8(std::string_view(bytes).substr(3)))
        return bytes.substr(3);
    bool complete = false;
    std::string decoded = DecodeGb18030(bytes, &complete);
    if (!complete && IsValidUtf8(bytes))
        return bytes; // written as UTF-8 by some editor
    return decoded;
}

#ifdef _WIN32
std::wstring WidenUtf8(const std::string& utf8) {
    return Widen(utf8, CP_UTF8, MB_ERR_INVALID_CHARS);
}

std::string NarrowUtf16(const wchar_t* text, int length) {
    if (text == nullptr || length == 0)
        return {};
    return Narrow(length < 0 ? std::wstring(text) : std::wstring(text, length), CP_UTF8, nullptr);
}
#endif

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string TrimWhitespace(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    bool open = false; // a line has started and not yet ended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current.push_back(c);
            open = true;
        }
    }
    if (open)
        lines.push_back(std::move(current));
    return lines;
}

namespace {

[[noreturn]] void ThrowFileError(const std::error_code& code, const std::string& path,
                                 const char* action) {
    std::int32_t number = errors::kPathFileAccess;
    if (code == std::errc::no_such_file_or_directory)
        number = errors::kFileNotFound;
    else if (code == std::errc::permission_denied || code == std::errc::read_only_file_system)
        number = errors::kPermissionDenied;
    else if (code == std::errc::not_a_directory)
        number = errors::kPathNotFound;
    else if (code == std::errc::is_a_directory)
        number = errors::kPathFileAccess;
    throw Error(number, std::string("cannot ") + action + " \"" + path + "\": " + code.message());
}

} // namespace

std::vector<std::string> ReadTextLines(const std::string& path) {
    if (path.empty())
        throw Error(errors::kPathFileAccess, "no file name given");
    const auto fsPath = PathFromUtf8(path);
    std::error_code code;
    if (std::filesystem::is_directory(fsPath, code))
        ThrowFileError(std::make_error_code(std::errc::is_a_directory), path, "read");
    std::ifstream in(fsPath, std::ios::binary);
    if (!in) {
        std::error_code status;
        const bool exists = std::filesystem::exists(fsPath, status);
        ThrowFileError(
            exists ? std::make_error_code(std::errc::permission_denied)
                   : (status ? status : std::make_error_code(std::errc::no_such_file_or_directory)),
            path, "read");
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        ThrowFileError(std::make_error_code(std::errc::io_error), path, "read");
    return SplitLines(DecodeTextFile(bytes));
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
    if (path.empty())
        throw Error(errors::kPathFileAccess, "no file name given");
    std::string bytes;
    for (const auto& line : lines) {
        bytes += EncodeGbk(line);
        bytes += "\r\n";
    }
    const auto target = PathFromUtf8(path);
    std::error_code code;
    if (std::filesystem::is_directory(target, code))
        ThrowFileError(std::make_error_code(std::errc::is_a_directory), path, "write");
    // A file the user made read-only stays untouched, as a direct write would find it.
    const auto status = std::filesystem::status(target, code);
    if (!code && std::filesystem::exists(status) &&
        (status.permissions() & std::filesystem::perms::owner_write) ==
            std::filesystem::perms::none)
        ThrowFileError(std::make_error_code(std::errc::permission_denied), path, "write");
    auto temporary = target;
    temporary += ".kwtmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            const auto folder = target.parent_path();
            const bool folderMissing = !folder.empty() && !std::filesystem::exists(folder, code);
            ThrowFileError(folderMissing ? std::make_error_code(std::errc::not_a_directory)
                                         : std::make_error_code(std::errc::permission_denied),
                           path, "write");
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temporary, code);
            ThrowFileError(std::make_error_code(std::errc::io_error), path, "write");
        }
    }
    std::filesystem::rename(temporary, target, code);
    if (code) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        ThrowFileError(code, path, "write");
    }
}

} // namespace kw

#pragma once

// DXF text encodings: the $DWGCODEPAGE of files before release 2007, UTF-8 after, and the \U+XXXX
// and \M+NXXXX escapes that any release may contain. Conversion goes through the C library's iconv
// (glibc) or the Win32 code-page API — never a hand-made table.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kw::drawing::detail {

class CodePage {
public:
    // `dxfName` as $DWGCODEPAGE gives it (ANSI_936, dos850, ansi_1252, ...); "", ASCII, UNDEFINED
    // and unknown names mean Windows-1252. `utf8` for release 2007 and later.
    CodePage(std::string_view dxfName, bool utf8);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    // File bytes → UTF-8 with the escapes decoded. Bytes that do not decode become U+FFFD.
    std::string Decode(std::string_view bytes) const;
    // Appends the decoded text to `out`.
    void DecodeAppend(std::string_view bytes, std::string& out) const;
    // UTF-8 → file bytes; a character the code page cannot hold is written as \U+XXXX.
    std::string Encode(std::string_view utf8) const;

    bool IsUtf8() const { return m_utf8; }
    // The converter name in use ("GBK", "CP1252", "UTF-8").
    const std::string& Name() const { return m_name; }

    // Whether bytes need any decoding at all (non-ASCII or a backslash escape).
    static bool NeedsDecoding(std::string_view bytes);

private:
    struct Converters;
    bool m_utf8;
    std::string m_name;
    std::unique_ptr<Converters> m_converters;
};

// The iconv name for a DXF code page name ("ANSI_936" → "GBK"); "" when unknown.
std::string IconvName(std::string_view dxfName);

// Whether the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of a code point.
void AppendUtf8(std::uint32_t codePoint, std::string& out);

// Reads one code point from UTF-8 at `pos` and advances; malformed bytes read as U+FFFD, one byte.
std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos);

} // namespace kw::drawing::detail

#include "drawing/detail/codepage.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

#include "base/characters.h"

namespace kw::drawing::detail {
namespace {

struct CodePageName {
    const char* dxf;
    const char* iconv;
    unsigned windows; // Win32 code page number
};

// $DWGCODEPAGE names as the host CAD writes them (compared case-insensitively).
constexpr CodePageName kCodePages[] = {
    {"ANSI_874", "CP874", 874},
    {"ANSI_932", "CP932", 932},
    {"ANSI_936", "GBK", 936},
    {"ANSI_949", "CP949", 949},
    {"ANSI_950", "CP950", 950},
    {"ANSI_1250", "CP1250", 1250},
    {"ANSI_1251", "CP1251", 1251},
    {"ANSI_1252", "CP1252", 1252},
    {"ANSI_1253", "CP1253", 1253},
    {"ANSI_1254", "CP1254", 1254},
    {"ANSI_1255", "CP1255", 1255},
    {"ANSI_1256", "CP1256", 1256},
    {"ANSI_1257", "CP1257", 1257},
    {"ANSI_1258", "CP1258", 1258},
    {"ANSI_1361", "JOHAB", 1361},
    {"DOS437", "CP437", 437},
    {"DOS850", "CP850", 850},
    {"DOS852", "CP852", 852},
    {"DOS855", "CP855", 855},
    {"DOS857", "CP857", 857},
    {"DOS860", "CP860", 860},
    {"DOS861", "CP861", 861},
    {"DOS863", "CP863", 863},
    {"DOS864", "CP864", 864},
    {"DOS865", "CP865", 865},
    {"DOS866", "CP866", 866},
    {"DOS869", "CP869", 869},
    {"DOS932", "CP932", 932},
    {"MACINTOSH", "MACINTOSH", 10000},
    {"BIG5", "CP950", 950},
    {"KSC5601", "CP949", 949},
    {"JOHAB", "JOHAB", 1361},
    {"GB2312", "GBK", 936},
    {"ISO8859-1", "ISO-8859-1", 28591},
    {"ISO8859-2", "ISO-8859-2", 28592},
    {"ISO8859-3", "ISO-8859-3", 28593},
    {"ISO8859-4", "ISO-8859-4", 28594},
    {"ISO8859-5", "ISO-8859-5", 28595},
    {"ISO8859-6", "ISO-8859-6", 28596},
    {"ISO8859-7", "ISO-8859-7", 28597},
    {"ISO8859-8", "ISO-8859-8", 28598},
    {"ISO8859-9", "ISO-8859-9", 28599},
    {"ASCII", "CP1252", 1252},
    {"UNDEFINED", "CP1252", 1252},
};

// \M+N: the multibyte code page of N (the host's MIF numbering).
constexpr const char* kMifIconv[] = {nullptr, "CP932", "CP950", "CP949", "JOHAB", "GBK"};
constexpr unsigned kMifWindows[] = {0, 932, 950, 949, 1361, 936};

const CodePageName* FindCodePage(std::string_view dxfName) {
    while (!dxfName.empty() && (dxfName.back() == ' ' || dxfName.back() == '\t'))
        dxfName.remove_suffix(1);
    while (!dxfName.empty() && (dxfName.front() == ' ' || dxfName.front() == '\t'))
        dxfName.remove_prefix(1);
    for (const auto& page : kCodePages)
        if (EqualsIgnoringAsciiCase(dxfName, page.dxf))
            return &page;
    return nullptr;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int Hex4(std::string_view s, std::size_t pos) {
    if (pos + 4 > s.size())
        return -1;
    int value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const int digit = HexValue(s[pos + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// One direction of one code page. Converts whole strings; a byte that does not convert becomes
// U+FFFD (decoding) or \U+XXXX (encoding).
class Converter {
public:
    Converter(const char* to, const char* from, unsigned windowsCodePage, bool toUtf8)
        : m_toUtf8(toUtf8), m_windows(windowsCodePage) {
#if defined(_WIN32)
        (void)to;
        (void)from;
#else
        m_handle = iconv_open(to, from);
#endif
    }
    ~Converter() {
#if !defined(_WIN32)
        if (m_handle != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_handle);
#endif
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Usable() const {
#if defined(_WIN32)
        return IsValidCodePage(m_windows) != 0;
#else
        return m_handle != reinterpret_cast<iconv_t>(-1);
#endif
    }

    // Decoding: code-page bytes → UTF-8 appended to out.
    void ToUtf8(std::string_view in, std::string& out) const {
#if defined(_WIN32)
        std::size_t pos = 0;
        while (pos < in.size()) {
            // Convert as long a run as the API accepts; on failure go byte by byte.
            const int wideSize =
                MultiByteToWideChar(m_windows, MB_ERR_INVALID_CHARS, in.data() + pos,
                                    static_cast<int>(in.size() - pos), nullptr, 0);
            if (wideSize > 0) {
                std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
                MultiByteToWideChar(m_windows, MB_ERR_INVALID_CHARS, in.data() + pos,
                                    static_cast<int>(in.size() - pos), wide.data(), wideSize);
                AppendWide(wide, out);
                return;
            }
            std::size_t length = IsDBCSLeadByteEx(m_windows, static_cast<BYTE>(in[pos])) ? 2 : 1;
            if (pos + length > in.size())
                length = 1;
            wchar_t wide[2];
            const int n = MultiByteToWideChar(m_windows, MB_ERR_INVALID_CHARS, in.data() + pos,
                                              static_cast<int>(length), wide, 2);
            if (n > 0)
                AppendWide(std::wstring(wide, static_cast<std::size_t>(n)), out);
            else
                AppendUtf8(kReplacement, out);
            pos += length;
        }
#else
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof(buffer);
            const std::size_t result = iconv(m_handle, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                // EILSEQ or EINVAL (a truncated multibyte character at the end): skip one byte.
                AppendUtf8(kReplacement, out);
                ++inPtr;
                --inLeft;
                iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
            }
        }
#endif
    }

    // Encoding: one code point → code-page bytes; false when the page cannot hold it.
    bool FromCodePoint(std::uint32_t codePoint, std::string& out) const {
        std::string utf8;
        AppendUtf8(codePoint, utf8);
#if defined(_WIN32)
        wchar_t wide[2];
        int wideSize = 0;
        if (codePoint >= 0x10000) {
            wide[0] = static_cast<wchar_t>(0xD800 + ((codePoint - 0x10000) >> 10));
            wide[1] = static_cast<wchar_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
            wideSize = 2;
        } else {
            wide[0] = static_cast<wchar_t>(codePoint);
            wideSize = 1;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(m_windows, 0, wide, wideSize, bytes, sizeof(bytes),
                                          nullptr, &usedDefault);
        if (n <= 0 || usedDefault)
            return false;
        out.append(bytes, static_cast<std::size_t>(n));
        return true;
#else
        iconv(m_handle, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = utf8.data();
        std::size_t inLeft = utf8.size();
        char buffer[16];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof(buffer);
        if (iconv(m_handle, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
            return false;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return true;
#endif
    }

private:
#if defined(_WIN32)
    static void AppendWide(const std::wstring& wide, std::string& out) {
        for (std::size_t i = 0; i < wide.size(); ++i) {
            std::uint32_t c = static_cast<std::uint16_t>(wide[i]);
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
                const std::uint32_t low = static_cast<std::uint16_t>(wide[i + 1]);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            AppendUtf8(c, out);
        }
    }
#else
    iconv_t m_handle = reinterpret_cast<iconv_t>(-1);
#endif
    bool m_toUtf8;
    unsigned m_windows;
};

} // namespace

struct CodePage::Converters {
    std::unique_ptr<Converter> decoder;
    std::unique_ptr<Converter> encoder;
    std::unique_ptr<Converter> fallback; // CP1252 for R2007+ files whose bytes are no UTF-8
    mutable std::array<std::unique_ptr<Converter>, 6> mif;

    const Converter* Mif(int n) const {
        if (n < 1 || n > 5)
            return nullptr;
        if (!mif[n])
            mif[n] = std::make_unique<Converter>("UTF-8", kMifIconv[n], kMifWindows[n], true);
        return mif[n]->Usable() ? mif[n].get() : nullptr;
    }
};

std::string IconvName(std::string_view dxfName) {
    const CodePageName* page = FindCodePage(dxfName);
    return page ? page->iconv : "";
}

CodePage::CodePage(std::string_view dxfName, bool utf8)
    : m_utf8(utf8), m_converters(std::make_unique<Converters>()) {
    const CodePageName* page = FindCodePage(dxfName);
    if (!page)
        page = FindCodePage("ANSI_1252");
    m_converters->fallback = std::make_unique<Converter>("UTF-8", "CP1252", 1252, true);
    if (utf8) {
        m_name = "UTF-8";
        return;
    }
    m_name = page->iconv;
    m_converters->decoder = std::make_unique<Converter>("UTF-8", page->iconv, page->windows, true);
    m_converters->encoder = std::make_unique<Converter>(page->iconv, "UTF-8", page->windows, false);
    if (!m_converters->decoder->Usable()) {
        m_name = "CP1252";
        m_converters->decoder = std::make_unique<Converter>("UTF-8", "CP1252", 1252, true);
        m_converters->encoder = std::make_unique<Converter>("CP1252", "UTF-8", 1252, false);
    }
}

CodePage::~CodePage() = default;

bool CodePage::NeedsDecoding(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\\')
            return true;
    return false;
}

std::string CodePage::Decode(std::string_view bytes) const {
    std::string out;
    DecodeAppend(bytes, out);
    return out;
}

void CodePage::DecodeAppend(std::string_view bytes, std::string& out) const {
    if (!NeedsDecoding(bytes)) {
        out.append(bytes);
        return;
    }
    std::string text;
    bool ascii = true;
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        text.assign(bytes);
    else if (m_utf8) {
        if (IsValidUtf8(bytes))
            text.assign(bytes);
        else
            m_converters->fallback->ToUtf8(bytes, text);
    } else {
        m_converters->decoder->ToUtf8(bytes, text);
    }
    if (text.find('\\') == std::string::npos) {
        out.append(text);
        return;
    }
    // The escapes are ASCII; look for them in the decoded text, where a trail byte 0x5C of a
    // multibyte character can no longer pass for a backslash.
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t slash = text.find('\\', pos);
        if (slash == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, slash - pos);
        if (slash + 2 < text.size() && text[slash + 2] == '+' &&
            (text[slash + 1] == 'U' || text[slash + 1] == 'u')) {
            const int value = Hex4(text, slash + 3);
            if (value >= 0) {
                AppendUtf8(static_cast<std::uint32_t>(value), out);
                pos = slash + 7;
                continue;
            }
        }
        if (slash + 3 < text.size() && text[slash + 2] == '+' &&
            (text[slash + 1] == 'M' || text[slash + 1] == 'm')) {
            const int n = text[slash + 3] - '0';
            const int value = Hex4(text, slash + 4);
            const Converter* converter = value >= 0 ? m_converters->Mif(n) : nullptr;
            if (converter) {
                char pair[2] = {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
                const std::string_view encoded =
                    pair[0] == 0 ? std::string_view(pair + 1, 1) : std::string_view(pair, 2);
                converter->ToUtf8(encoded, out);
                pos = slash + 8;
                continue;
            }
        }
        out.push_back('\\');
        pos = slash + 1;
    }
}

std::string CodePage::Encode(std::string_view utf8) const {
    bool ascii = true;
    for (const char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii || m_utf8)
        return std::string(utf8);
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::uint32_t c = NextCodePoint(utf8, pos);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        if (c <= 0xFFFF && m_converters->encoder->Usable() &&
            m_converters->encoder->FromCodePoint(c, out))
            continue;
        char escape[8];
        std::snprintf(escape, sizeof(escape), "\\U+%04X", c <= 0xFFFF ? c : 0xFFFD);
        out.append(escape);
    }
    return out;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    const std::size_t size = bytes.size();
    while (pos < size) {
        const auto c = static_cast<unsigned char>(bytes[pos]);
        if (c < 0x80) {
            ++pos;
            continue;
        }
        std::size_t length;
        std::uint32_t minimum;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (pos + length > size)
            return false;
        std::uint32_t value = c & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto t = static_cast<unsigned char>(bytes[pos + i]);
            if ((t & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (t & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
            return false;
        pos += length;
    }
    return true;
}

void AppendUtf8(std::uint32_t c, std::string& out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        c = kReplacement;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::uint32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
        ++pos;
        return c;
    }
    std::size_t length = (c & 0xE0) == 0xC0   ? 2
                         : (c & 0xF0) == 0xE0 ? 3
                         : (c & 0xF8) == 0xF0 ? 4
                                              : 0;
    if (length == 0 || pos + length > text.size() || !IsValidUtf8(text.substr(pos, length))) {
        ++pos;
        return kReplacement;
    }
    std::uint32_t value = c & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i)
        value = (value << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    pos += length;
    return value;
}

} // namespace kw::drawing::detail

#include "base/characters.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/error.h"

#ifdef _WIN32
#include <windows.h>

#include "base/text_file.h"
#else
#include <unicode/ucasemap.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#endif

namespace kw {
namespace {

// The length of the UTF-8 character at `pos`, or 0 when the bytes there are no UTF-8.
std::size_t CharacterLength(std::string_view text, std::size_t pos, std::uint32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(pos);
    std::size_t length = 0;
    std::uint32_t value = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        length = 1;
        value = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(pos + i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    if (codePoint)
        *codePoint = value;
    return length;
}

// Calls `run` for each stretch of valid UTF-8 and `stray` for each byte outside them.
template <typename Run, typename Stray>
void ForEachRun(std::string_view text, Run run, Stray stray) {
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t length = CharacterLength(text, pos, nullptr);
        if (length > 0) {
            pos += length;
            continue;
        }
        if (pos > start)
            run(text.substr(start, pos - start));
        stray(text[pos]);
        start = ++pos;
    }
    if (pos > start)
        run(text.substr(start, pos - start));
}

#ifdef _WIN32

std::wstring LocaleName(const std::string& locale) {
    std::string name = locale;
    std::replace(name.begin(), name.end(), '_', '-');
    const auto dot = name.find('.'); // "zh_CN.UTF-8" names the same locale
    if (dot != std::string::npos)
        name.erase(dot);
    return WidenUtf8(name);
}

#endif

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t length = CharacterLength(bytes, pos, nullptr);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        std::uint32_t codePoint = 0;
        const std::size_t length = CharacterLength(utf8, pos, &codePoint);
        units += length == 4 ? 2 : 1; // above U+FFFF a surrogate pair
        pos += length > 0 ? length : 1;
    }
    return units;
}

std::size_t CharacterCount(std::string_view utf8) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++count) {
        const std::size_t length = CharacterLength(utf8, pos, nullptr);
        pos += length > 0 ? length : 1;
    }
    return count;
}

std::string WithoutLastCharacters(std::string_view utf8, std::size_t count) {
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos < utf8.size();) {
        starts.push_back(pos);
        const std::size_t length = CharacterLength(utf8, pos, nullptr);
        pos += length > 0 ? length : 1;
    }
    if (starts.size() <= count)
        return {};
    return std::string(utf8.substr(0, starts[starts.size() - count]));
}

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string UpperCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    auto upperRun = [&](std::string_view run) {
#ifdef _WIN32
        const std::wstring wide = WidenUtf8(std::string(run));
        const int size =
            LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                          static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr, 0);
        if (size <= 0) {
            out += run;
            return;
        }
        std::wstring upper(static_cast<std::size_t>(size), L'\0');
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(),
                      static_cast<int>(wide.size()), upper.data(), size, nullptr, nullptr, 0);
        out += NarrowUtf16(upper.data(), size);
#else
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* map = ucasemap_open("", U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status)) {
            out += run;
            return;
        }
        std::string upper(run.size() * 3 + 8, '\0');
        status = U_ZERO_ERROR;
        const std::int32_t size =
            ucasemap_utf8ToUpper(map, upper.data(), static_cast<std::int32_t>(upper.size()),
                                 run.data(), static_cast<std::int32_t>(run.size()), &status);
        ucasemap_close(map);
        if (U_FAILURE(status)) {
            out += run;
            return;
        }
        out.append(upper.data(), static_cast<std::size_t>(size));
#endif
    };
    ForEachRun(utf8, upperRun, [&](char stray) { out.push_back(stray); });
    return out;
}

#ifdef _WIN32

struct TextCollator::Impl {
    bool userDefault = true;
    std::wstring localeName; // when not the user's default; "" is the invariant locale
};

TextCollator::TextCollator(const std::string& locale) {
    auto impl = std::make_shared<Impl>();
    if (!locale.empty()) {
        impl->userDefault = false;
        impl->localeName = LocaleName(locale);
        // A name the system does not know (such as ICU's en_US_POSIX) sorts as the invariant
        // locale does.
        if (!IsValidLocaleName(impl->localeName.c_str()))
            impl->localeName.clear();
    }
    m_impl = std::move(impl);
}

int TextCollator::Compare(std::string_view a, std::string_view b) const {
    std::wstring wa, wb;
    // Bytes that are no UTF-8 cannot reach the system's comparison; they sort by their values.
    try {
        wa = WidenUtf8(std::string(a));
        wb = WidenUtf8(std::string(b));
    } catch (const Error&) {
        return a.compare(b);
    }
    const wchar_t* localeName =
        m_impl->userDefault ? LOCALE_NAME_USER_DEFAULT : m_impl->localeName.c_str();
    const int result =
        CompareStringEx(localeName, NORM_IGNORECASE, wa.data(), static_cast<int>(wa.size()),
                        wb.data(), static_cast<int>(wb.size()), nullptr, nullptr, 0);
    if (result == 0)
        return a.compare(b);
    return result - CSTR_EQUAL;
}

#else

struct TextCollator::Impl {
    UCollator* collator = nullptr;

    ~Impl() {
        if (collator)
            ucol_close(collator);
    }
};

TextCollator::TextCollator(const std::string& locale) {
    auto impl = std::make_shared<Impl>();
    UErrorCode status = U_ZERO_ERROR;
    // ICU takes the user's locale from LC_ALL, LC_MESSAGES or LANG, as the desktop does. The C
    // locale becomes en_US_POSIX, whose collation is code point order with letter case counted:
    // the root collation stands in for it.
    std::string name = locale.empty() ? uloc_getDefault() : locale;
    if (name.rfind("en_US_POSIX", 0) == 0)
        name.clear();
    impl->collator = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status) || !impl->collator) {
        status = U_ZERO_ERROR;
        impl->collator = ucol_open("", &status); // the root collation
    }
    if (impl->collator) {
        // Secondary strength: letters and accents count, letter case does not.
        ucol_setStrength(impl->collator, UCOL_SECONDARY);
    }
    m_impl = std::move(impl);
}

int TextCollator::Compare(std::string_view a, std::string_view b) const {
    if (!m_impl->collator)
        return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        ucol_strcollUTF8(m_impl->collator, a.data(), static_cast<std::int32_t>(a.size()), b.data(),
                         static_cast<std::int32_t>(b.size()), &status);
    if (U_FAILURE(status))
        return a.compare(b);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

#endif

} // namespace kw

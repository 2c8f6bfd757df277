#pragma once

// Text counted, cut, upper-cased and ordered as characters. The program's strings are UTF-8, but
// what the user sees and what Windows counts are characters: a Chinese character is three UTF-8
// bytes and one UTF-16 code unit. ICU does the case mapping and collation on Linux, the Windows
// API (LCMapStringEx, CompareStringEx) on Windows. A byte that is no UTF-8 counts as one character
// and is kept as it is.

#include <memory>
#include <string>
#include <string_view>

namespace kw {

// Whether the bytes are UTF-8: no stray or missing continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// The length in UTF-16 code units, as Windows counts a text's characters.
std::size_t Utf16Length(std::string_view utf8);

// The length in characters (code points).
std::size_t CharacterCount(std::string_view utf8);

// The text without its last `count` characters (code points); "" when it has no more than that.
std::string WithoutLastCharacters(std::string_view utf8, std::size_t count);

// The text upper-cased by the full Unicode mapping, independent of the user's locale (full-width
// Latin, accented, Greek and Cyrillic letters included; "ß" becomes "SS" where the system maps one
// letter to two, which Windows does not).
std::string UpperCase(std::string_view utf8);

// ASCII letters in lower or upper case; every other byte, UTF-8 sequences included, as it is. For
// names the CAD compares without regard to case (layers, linetypes, styles, file extensions).
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// Equal but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Compares texts as the system's sorted list box does: by the collation of a locale, letter case
// ignored (Chinese in pinyin order in a Chinese locale). Copies share one collator.
class TextCollator {
public:
    // `locale` as "zh_CN" or "zh-CN"; empty for the user's locale.
    explicit TextCollator(const std::string& locale = {});

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    int Compare(std::string_view a, std::string_view b) const;
    bool Less(std::string_view a, std::string_view b) const { return Compare(a, b) < 0; }

    struct Impl;

private:
    std::shared_ptr<const Impl> m_impl;
};

} // namespace kw

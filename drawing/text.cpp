#include "drawing/text.h"

#include "drawing/detail/codepage.h"

namespace kw::drawing {
namespace {

std::uint32_t FoldCodePoint(std::uint32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs capital/small as even/odd, except the ranges shifted by one.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 1) ? c + 1 : c;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) // full-width Latin capitals
        return c + 32;
    return c;
}

} // namespace

std::string FoldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) {
            out.push_back(byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32)
                                                     : static_cast<char>(byte));
            ++pos;
            continue;
        }
        detail::AppendUtf8(FoldCodePoint(detail::NextCodePoint(utf8, pos)), out);
    }
    return out;
}

std::string DecodeCaret(std::string_view text) {
    if (text.find('^') == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '^' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == ' ') {
                out.push_back('^');
                ++i;
                continue;
            }
            if (next >= '@' && next <= '_') {
                out.push_back(static_cast<char>(next - '@'));
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

std::string PlainMText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (c == '{' || c == '}') {
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= n) {
            out.push_back(c);
            ++i;
            continue;
        }
        const char code = text[i + 1];
        switch (code) {
        case 'P':
            out.push_back('\n');
            i += 2;
            break;
        case '~':
            out.push_back(' ');
            i += 2;
            break;
        case '\\':
        case '{':
        case '}':
            out.push_back(code);
            i += 2;
            break;
        case 'L':
        case 'l':
        case 'O':
        case 'o':
        case 'K':
        case 'k':
        case 'N':
        case 'X':
            i += 2;
            break;
        case 'S': {
            // \Sup^down; or \Sup/down; or \Sup#down;
            const std::size_t end = text.find(';', i + 2);
            const std::string_view body =
                text.substr(i + 2, (end == std::string_view::npos ? n : end) - (i + 2));
            for (const char b : body)
                out.push_back(b == '^' || b == '#' ? '/' : b);
            i = end == std::string_view::npos ? n : end + 1;
            break;
        }
        case 'f':
        case 'F':
        case 'H':
        case 'h':
        case 'W':
        case 'w':
        case 'Q':
        case 'q':
        case 'T':
        case 't':
        case 'A':
        case 'a':
        case 'C':
        case 'c':
        case 'p':
        default: {
            // A code with an argument up to ';'.
            const std::size_t end = text.find(';', i + 2);
            if (code == 'f' || code == 'F' || code == 'H' || code == 'h' || code == 'W' ||
                code == 'w' || code == 'Q' || code == 'q' || code == 'T' || code == 't' ||
                code == 'A' || code == 'a' || code == 'C' || code == 'c' || code == 'p') {
                i = end == std::string_view::npos ? n : end + 1;
            } else {
                out.push_back(c);
                ++i;
            }
            break;
        }
        }
    }
    return out;
}

} // namespace kw::drawing

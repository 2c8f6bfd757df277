#include "render/text_content.h"

#include <cctype>

namespace kw::render {
namespace {

// Codes followed by a value that runs to the next ';'.
bool TakesValue(char code) {
    switch (code) {
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
        return true;
    default:
        return false;
    }
}

void AppendSpecial(std::string& out, const std::string& text, std::size_t& i) {
    // text[i] == '%' && text[i + 1] == '%'
    const char code = i + 2 < text.size() ? text[i + 2] : '\0';
    switch (std::tolower(static_cast<unsigned char>(code))) {
    case 'c':
        out += "\u2300";
        i += 3;
        return;
    case 'd':
        out += "\u00B0";
        i += 3;
        return;
    case 'p':
        out += "\u00B1";
        i += 3;
        return;
    case 'u':
    case 'o':
        i += 3;
        return;
    case '%':
        out += '%';
        i += 3;
        return;
    default:
        break;
    }
    if (std::isdigit(static_cast<unsigned char>(code))) {
        std::size_t j = i + 2;
        int value = 0;
        while (j < text.size() && j < i + 5 && std::isdigit(static_cast<unsigned char>(text[j])))
            value = value * 10 + (text[j++] - '0');
        if (value > 0 && value < 128)
            out += static_cast<char>(value);
        i = j;
        return;
    }
    out += '%';
    ++i;
}

} // namespace

std::string PlainText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            AppendSpecial(out, text, i);
            continue;
        }
        out += text[i++];
    }
    return out;
}

std::vector<std::string> MTextLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '{' || c == '}') {
            ++i;
            continue;
        }
        if (c == '\n') {
            lines.emplace_back();
            ++i;
            continue;
        }
        if (c == '\r') {
            ++i;
            continue;
        }
        if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            AppendSpecial(lines.back(), text, i);
            continue;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            lines.back() += c;
            ++i;
            continue;
        }
        const char code = text[i + 1];
        if (code == 'P' || code == 'X') {
            lines.emplace_back();
            i += 2;
        } else if (code == '~') {
            lines.back() += "\u00A0";
            i += 2;
        } else if (code == '\\' || code == '{' || code == '}') {
            lines.back() += code;
            i += 2;
        } else if (code == 'S') {
            // Stacked text up to ';': numerator and denominator shown as a/b.
            std::size_t j = i + 2;
            std::string stacked;
            while (j < text.size() && text[j] != ';') {
                const char s = text[j];
                if (s == '\\' && j + 1 < text.size()) {
                    stacked += text[j + 1];
                    j += 2;
                    continue;
                }
                stacked += (s == '^' || s == '#') ? '/' : s;
                ++j;
            }
            if (!stacked.empty() && stacked.back() == '/')
                stacked.pop_back(); // a superscript / subscript alone
            lines.back() += stacked;
            i = j < text.size() ? j + 1 : j;
        } else if (TakesValue(code)) {
            std::size_t j = i + 2;
            while (j < text.size() && text[j] != ';')
                ++j;
            i = j < text.size() ? j + 1 : j;
        } else {
            // \L \l \O \o \K \k \N and unknown codes: switches without a value.
            i += 2;
        }
    }
    return lines;
}

} // namespace kw::render

#include "render/text_content.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace kw::render {
namespace {

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

namespace {

// The value of a code up to ';' (the ';' consumed), from text[i] on.
std::string CodeValue(const std::string& text, std::size_t& i) {
    const std::size_t end = text.find(';', i);
    std::string value = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    i = end == std::string::npos ? text.size() : end + 1;
    return value;
}

// The number of a numeric code from text[i] on, and its ';' when there is one: writers leave the
// ';' out (\C1text), so the value ends where the number does.
std::string NumberValue(const std::string& text, std::size_t& i) {
    std::size_t end = i;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) ||
                                 std::strchr(".+-xX", text[end]) != nullptr))
        ++end;
    std::string value = text.substr(i, end - i);
    i = end < text.size() && text[end] == ';' ? end + 1 : end;
    return value;
}

double Number(const std::string& text, double fallback) {
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        return used > 0 && std::isfinite(value) ? value : fallback;
    } catch (...) {
        return fallback;
    }
}

// \f: family|b1|i0|c134|p34
void ApplyFont(MTextFormat& format, const std::string& value) {
    std::size_t start = 0;
    bool first = true;
    while (start <= value.size()) {
        const std::size_t bar = value.find('|', start);
        const std::string part =
            value.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        if (first)
            format.family = part;
        else if (part.size() >= 2 && part[0] == 'b')
            format.bold = part[1] == '1';
        else if (part.size() >= 2 && part[0] == 'i')
            format.italic = part[1] == '1';
        first = false;
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
}

} // namespace

std::vector<MTextParagraph> ParseMText(const std::string& text) {
    std::vector<MTextParagraph> paragraphs(1);
    MTextFormat format;
    std::vector<MTextFormat> groups;
    auto piece = [&]() -> MTextPiece& {
        auto& paragraph = paragraphs.back();
        if (paragraph.empty() || paragraph.back().stacked || !(paragraph.back().format == format)) {
            paragraph.push_back({});
            paragraph.back().format = format;
        }
        return paragraph.back();
    };
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '{') {
            groups.push_back(format);
            ++i;
            continue;
        }
        if (c == '}') {
            if (!groups.empty()) {
                format = groups.back();
                groups.pop_back();
            }
            ++i;
            continue;
        }
        if (c == '\n') {
            paragraphs.emplace_back();
            ++i;
            continue;
        }
        if (c == '\r') {
            ++i;
            continue;
        }
        if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            std::string special;
            AppendSpecial(special, text, i);
            piece().text += special;
            continue;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            piece().text += c;
            ++i;
            continue;
        }
        const char code = text[i + 1];
        i += 2;
        switch (code) {
        case 'P':
        case 'X':
            paragraphs.emplace_back();
            break;
        case 'N':
            paragraphs.emplace_back();
            piece().columnBreak = true;
            break;
        case '~':
            piece().text += "\u00A0";
            break;
        case '\\':
        case '{':
        case '}':
            piece().text += code;
            break;
        case 'L':
        case 'l':
            format.underline = code == 'L';
            break;
        case 'O':
        case 'o':
            format.overline = code == 'O';
            break;
        case 'K':
        case 'k':
            format.strike = code == 'K';
            break;
        case 'f':
        case 'F':
            ApplyFont(format, CodeValue(text, i));
            break;
        case 'H': {
            const std::string value = NumberValue(text, i);
            const double number = Number(value, 1.0);
            if (!value.empty() && (value.back() == 'x' || value.back() == 'X')) {
                if (format.height > 0)
                    format.height *= number;
                else
                    format.heightFactor *= number;
            } else if (number > 0) {
                format.height = number;
            }
            break;
        }
        case 'W':
            format.widthFactor = std::max(0.01, Number(NumberValue(text, i), 1.0));
            break;
        case 'Q':
            format.obliqueDeg = Number(NumberValue(text, i), 0.0);
            break;
        case 'T':
            format.tracking = std::max(0.75, Number(NumberValue(text, i), 1.0));
            break;
        case 'A':
            format.verticalAlign = static_cast<int>(Number(NumberValue(text, i), 0.0));
            break;
        case 'C':
            format.aci = static_cast<int>(Number(NumberValue(text, i), -1.0));
            format.rgb = -1;
            break;
        case 'c':
            format.rgb = static_cast<std::int32_t>(Number(NumberValue(text, i), -1.0)) & 0xFFFFFF;
            break;
        case 'S': {
            std::string value;
            while (i < text.size() && text[i] != ';') {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    value += text[i + 1];
                    i += 2;
                    continue;
                }
                value += text[i++];
            }
            if (i < text.size())
                ++i;
            MTextPiece stack;
            stack.stacked = true;
            stack.format = format;
            const std::size_t split = value.find_first_of("/#^");
            stack.upper = value.substr(0, split);
            if (split != std::string::npos) {
                stack.stackKind = value[split];
                stack.lower = value.substr(split + 1);
            }
            paragraphs.back().push_back(std::move(stack));
            break;
        }
        case 'p': {
            // Paragraph properties, e.g. "xqc", "i1,qj": only the alignment is laid out.
            const std::string value = CodeValue(text, i);
            for (std::size_t at = value.find('q'); at != std::string::npos;
                 at = value.find('q', at + 1))
                if (at + 1 < value.size() &&
                    (at == 0 || value[at - 1] == 'x' || value[at - 1] == ',')) {
                    const char align =
                        static_cast<char>(std::tolower(static_cast<unsigned char>(value[at + 1])));
                    if (std::strchr("lcrjd", align) != nullptr && align != '\0')
                        format.paragraphAlign = align;
                }
            break;
        }
        default:
            break; // unknown switches
        }
    }
    return paragraphs;
}

std::vector<std::string> MTextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (const MTextParagraph& paragraph : ParseMText(text)) {
        std::string line;
        for (const MTextPiece& piece : paragraph)
            line += !piece.stacked        ? piece.text
                    : piece.lower.empty() ? piece.upper
                                          : piece.upper + "/" + piece.lower;
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace kw::render

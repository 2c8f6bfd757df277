#include "output/file_names.h"

#include <algorithm>
#include <cctype>

#include "base/characters.h"
#include "base/error.h"

namespace kw::output {
namespace {

// The length of a reserved device name at the start of the name (CON, NUL, COM1, LPT¹ …), which
// Windows takes for the device with any extension and blanks before it; 0 for none.
std::size_t ReservedDeviceStem(const std::string& name) {
    const std::size_t dot = name.find('.');
    std::string stem = AsciiUpper(name.substr(0, dot));
    while (!stem.empty() && stem.back() == ' ') {
        stem.pop_back();
    }
    static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* reserved : kReserved) {
        if (stem == reserved) {
            return stem.size();
        }
    }
    if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) {
        return 0;
    }
    // A digit, or the superscripts ¹ ² ³ that Windows also counts as one.
    const std::string number = stem.substr(3);
    const bool reserved = (number.size() == 1 && number[0] >= '0' && number[0] <= '9') ||
                          number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
    return reserved ? stem.size() : 0;
}

// The length of the UTF-8 sequence a lead byte starts (1 for a stray continuation byte).
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

} // namespace

FilledName FillTemplate(const std::string& nameTemplate, const NameValues& values) {
    FilledName result;
    std::string text;
    for (std::size_t i = 0; i < nameTemplate.size(); ++i) {
        const char c = nameTemplate[i];
        if (c == '}') {
            if (i + 1 < nameTemplate.size() && nameTemplate[i + 1] == '}') {
                ++i;
            }
            text += '}';
            continue;
        }
        if (c != '{') {
            text += c;
            continue;
        }
        if (i + 1 < nameTemplate.size() && nameTemplate[i + 1] == '{') {
            text += '{';
            ++i;
            continue;
        }
        const auto close = nameTemplate.find('}', i);
        if (close == std::string::npos) {
            throw Error(errors::kInvalidCall,
                        "the name template \"" + nameTemplate + "\" has a { without its }");
        }
        std::string name = nameTemplate.substr(i + 1, close - i - 1);
        std::size_t width = 0;
        if (const auto colon = name.rfind(':'); colon != std::string::npos) {
            const std::string format = name.substr(colon + 1);
            if (!format.empty() && std::all_of(format.begin(), format.end(), [](unsigned char d) {
                    return std::isdigit(d) != 0;
                })) {
                width = static_cast<std::size_t>(std::stoul(format));
                name = name.substr(0, colon);
            }
        }
        const auto found = values.find(name);
        if (found == values.end() || found->second.empty()) {
            result.missing.push_back(name);
        } else {
            std::string value = found->second;
            if (width > value.size() && width <= 32) {
                value.insert(0, width - value.size(), '0');
            }
            text += value;
        }
        i = close;
    }
    if (result.missing.empty()) {
        result.text = text;
    }
    return result;
}

std::string SafeFileName(const std::string& name, std::size_t maxBytes) {
    std::string safe;
    for (const char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string::npos) {
            safe += '_';
        } else {
            safe += c;
        }
    }
    // Windows drops trailing dots and blanks; leading ones make hidden or awkward files.
    auto edge = [](char c) { return c == ' ' || c == '.'; };
    while (!safe.empty() && edge(safe.back())) {
        safe.pop_back();
    }
    std::size_t start = 0;
    while (start < safe.size() && edge(safe[start])) {
        ++start;
    }
    safe.erase(0, start);
    if (safe.size() > maxBytes) {
        std::size_t cut = 0;
        for (std::size_t i = 0; i < safe.size();) {
            const std::size_t length = SequenceLength(static_cast<unsigned char>(safe[i]));
            if (i + length > maxBytes) {
                break;
            }
            i += length;
            cut = i;
        }
        safe.resize(cut);
        while (!safe.empty() && edge(safe.back())) {
            safe.pop_back();
        }
    }
    // "CON.1_" would still be the device: the mark goes right behind the device's name.
    if (const std::size_t stem = ReservedDeviceStem(safe); stem > 0) {
        safe.insert(stem, 1, '_');
    }
    if (safe.empty()) {
        safe = "_";
    }
    return safe;
}

std::string UniqueNames::Take(const std::string& name) {
    std::string candidate = name;
    for (int suffix = 2; !m_taken.insert(AsciiLower(candidate)).second; ++suffix) {
        candidate = name + "_" + std::to_string(suffix);
    }
    return candidate;
}

} // namespace kw::output

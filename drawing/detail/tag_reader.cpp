#include "drawing/detail/tag_reader.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kw::drawing::detail {

std::string_view TrimTagValue(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

namespace {

// The next line feed at or after p, or end. Lines of DXF are short (a group code, a number), so
// eight bytes are looked at at once instead of calling memchr for every line.
inline const char* FindNewline(const char* p, const char* end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    constexpr std::uint64_t kNewlines = 0x0A0A0A0A0A0A0A0Aull;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        const std::uint64_t x = word ^ kNewlines;
        const std::uint64_t found = (x - kOnes) & ~x & kHighs;
        if (found)
            return p + (std::countr_zero(found) >> 3);
        p += 8;
    }
    while (p < end && *p != '\n')
        ++p;
    return p;
}

template <typename T> T Load(const char* p) {
    T value;
    std::memcpy(&value, p, sizeof(T)); // binary DXF is little endian, as are our targets
    return value;
}

} // namespace

ValueKind KindOfCode(int code) {
    if (code < 0)
        return ValueKind::String;
    if (code < 10)
        return ValueKind::String;
    if (code < 60)
        return ValueKind::Double;
    if (code < 80)
        return ValueKind::Int16;
    if (code >= 90 && code < 100)
        return ValueKind::Int32;
    if (code >= 110 && code < 150)
        return ValueKind::Double;
    if (code >= 160 && code < 170)
        return ValueKind::Int64;
    if (code >= 170 && code < 180)
        return ValueKind::Int16;
    if (code >= 210 && code < 240)
        return ValueKind::Double;
    if (code >= 270 && code < 290)
        return ValueKind::Int16;
    if (code >= 290 && code < 300)
        return ValueKind::Bool;
    if (code >= 310 && code < 320)
        return ValueKind::Binary;
    if (code >= 370 && code < 390)
        return ValueKind::Int16;
    if (code >= 400 && code < 410)
        return ValueKind::Int16;
    if (code >= 420 && code < 430)
        return ValueKind::Int32;
    if (code >= 440 && code < 460)
        return ValueKind::Int32;
    if (code >= 460 && code < 470)
        return ValueKind::Double;
    if (code == 1004)
        return ValueKind::Binary;
    if (code >= 1010 && code < 1060)
        return ValueKind::Double;
    if (code >= 1060 && code < 1071)
        return ValueKind::Int16;
    if (code == 1071)
        return ValueKind::Int32;
    return ValueKind::String;
}

TagReader::TagReader(std::string_view data, bool binary, bool oneByteCodes, std::size_t start)
    : m_data(data), m_pos(start), m_binary(binary), m_oneByteCodes(oneByteCodes) {}

bool TagReader::NextAscii(RawTag& tag) {
    const std::size_t size = m_data.size();
    const char* base = m_data.data();
    // Blank lines at the very end are no tag.
    std::size_t codeStart = m_pos;
    if (codeStart >= size) {
        m_done = true;
        m_truncated = !m_sawEof;
        return false;
    }
    const char* end = base + size;
    const char* nl = FindNewline(base + codeStart, end);
    std::size_t codeEnd = static_cast<std::size_t>(nl - base);
    std::size_t valueStart = nl < end ? codeEnd + 1 : size;
    std::string_view codeText(base + codeStart, codeEnd - codeStart);
    // The group code: right-aligned digits, maybe a sign.
    std::size_t i = 0;
    while (i < codeText.size() && (codeText[i] == ' ' || codeText[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < codeText.size() && (codeText[i] == '-' || codeText[i] == '+')) {
        negative = codeText[i] == '-';
        ++i;
    }
    std::int32_t code = 0;
    std::size_t digits = 0;
    while (i < codeText.size() && codeText[i] >= '0' && codeText[i] <= '9' && digits < 6) {
        code = code * 10 + (codeText[i] - '0');
        ++i;
        ++digits;
    }
    while (i < codeText.size() &&
           (codeText[i] == ' ' || codeText[i] == '\t' || codeText[i] == '\r'))
        ++i;
    if (digits == 0 || i != codeText.size()) {
        if (TrimTagValue(codeText).empty() && valueStart >= size) {
            m_done = true;
            m_truncated = !m_sawEof;
            return false;
        }
        std::string shown(codeText.substr(0, 40));
        if (!shown.empty() && shown.back() == '\r')
            shown.pop_back();
        TagError error{codeStart, m_line, "group code expected, found \"" + shown + "\""};
        if (!m_resync)
            throw error;
        if (!Resync(codeStart)) {
            error.reason += "; the rest of the file is ignored";
            m_skipped.push_back(std::move(error));
            m_done = true;
            m_truncated = true;
            return false;
        }
        error.reason += "; skipped to line " + std::to_string(m_line);
        m_skipped.push_back(std::move(error));
        return NextAscii(tag);
    }
    if (negative)
        code = -code;
    if (valueStart >= size) {
        // A group code without its value: the file was cut off.
        m_done = true;
        m_truncated = true;
        return false;
    }
    nl = FindNewline(base + valueStart, end);
    std::size_t valueEnd = static_cast<std::size_t>(nl - base);
    std::size_t next = nl < end ? valueEnd + 1 : size;
    if (valueEnd > valueStart && base[valueEnd - 1] == '\r')
        --valueEnd;
    tag.code = code;
    tag.value = std::string_view(base + valueStart, valueEnd - valueStart);
    tag.offset = codeStart;
    tag.valueOffset = valueStart;
    tag.end = next;
    tag.line = m_line;
    m_line += 2;
    m_pos = next;
    if (code == 0) {
        const std::string_view v = TrimTagValue(tag.value);
        if (v == "EOF") {
            m_done = true;
            m_sawEof = true;
        }
    }
    return true;
}

bool TagReader::Resync(std::size_t from) {
    const std::size_t size = m_data.size();
    const char* base = m_data.data();
    std::size_t pos = from;
    std::uint32_t line = m_line;
    // Skip the damaged line itself, then look at every line start.
    auto nextLine = [&](std::size_t p) {
        const char* nl = static_cast<const char*>(std::memchr(base + p, '\n', size - p));
        return nl ? static_cast<std::size_t>(nl - base) + 1 : size;
    };
    pos = nextLine(pos);
    ++line;
    while (pos < size) {
        const std::size_t next = nextLine(pos);
        auto lineText = [&](std::size_t from, std::size_t to) {
            if (to > from && base[to - 1] == '\n')
                --to;
            return TrimTagValue(std::string_view(base + from, to - from));
        };
        const std::string_view text = lineText(pos, next);
        if (text == "0" && next < size) {
            const std::size_t after = nextLine(next);
            const std::string_view name = lineText(next, after);
            bool upper = !name.empty();
            for (const char c : name)
                upper = upper && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
            if (upper) {
                m_pos = pos;
                m_line = line;
                return true;
            }
        }
        pos = next;
        ++line;
    }
    return false;
}

bool TagReader::NextBinary(RawTag& tag) {
    const std::size_t size = m_data.size();
    const char* base = m_data.data();
    const std::size_t start = m_pos;
    if (start >= size) {
        m_done = true;
        m_truncated = !m_sawEof;
        return false;
    }
    std::size_t pos = start;
    std::int32_t code;
    if (m_oneByteCodes) {
        code = static_cast<unsigned char>(base[pos]);
        ++pos;
        if (code == 255) {
            if (pos + 2 > size)
                throw TagError{start, 0, "binary group code cut off"};
            code = Load<std::int16_t>(base + pos);
            pos += 2;
        }
    } else {
        if (pos + 2 > size)
            throw TagError{start, 0, "binary group code cut off"};
        code = Load<std::int16_t>(base + pos);
        pos += 2;
    }
    std::size_t valueStart = pos;
    std::size_t valueSize = 0;
    std::size_t next = 0;
    switch (KindOfCode(code)) {
    case ValueKind::String: {
        const char* nul = static_cast<const char*>(std::memchr(base + pos, '\0', size - pos));
        if (!nul)
            throw TagError{start, 0, "unterminated string in binary tag " + std::to_string(code)};
        valueSize = static_cast<std::size_t>(nul - (base + pos));
        next = valueStart + valueSize + 1;
        break;
    }
    case ValueKind::Double:
        valueSize = 8;
        break;
    case ValueKind::Int16:
        valueSize = 2;
        break;
    case ValueKind::Int32:
        valueSize = 4;
        break;
    case ValueKind::Int64:
        valueSize = 8;
        break;
    case ValueKind::Bool:
        valueSize = 1;
        break;
    case ValueKind::Binary:
        if (pos >= size)
            throw TagError{start, 0, "binary chunk cut off"};
        valueSize = static_cast<unsigned char>(base[pos]);
        valueStart = pos + 1;
        break;
    }
    if (next == 0) {
        if (valueStart + valueSize > size)
            throw TagError{start, 0, "value of binary tag " + std::to_string(code) + " cut off"};
        next = valueStart + valueSize;
    }
    tag.code = code;
    tag.value = std::string_view(base + valueStart, valueSize);
    tag.offset = start;
    tag.valueOffset = valueStart;
    tag.end = next;
    tag.line = 0;
    m_pos = next;
    if (code == 0 && tag.value == "EOF") {
        m_done = true;
        m_sawEof = true;
    }
    return true;
}

double TagReader::Double(const RawTag& tag) const {
    if (m_binary) {
        switch (KindOfCode(tag.code)) {
        case ValueKind::Double:
            return Load<double>(tag.value.data());
        case ValueKind::Int16:
            return Load<std::int16_t>(tag.value.data());
        case ValueKind::Int32:
            return Load<std::int32_t>(tag.value.data());
        case ValueKind::Int64:
            return static_cast<double>(Load<std::int64_t>(tag.value.data()));
        case ValueKind::Bool:
            return static_cast<unsigned char>(tag.value[0]);
        default:
            break;
        }
    }
    double value = 0.0;
    if (!ParseDouble(tag.value, value)) {
        m_badNumber = true;
        return 0.0;
    }
    return value;
}

std::int64_t TagReader::Int(const RawTag& tag) const {
    if (m_binary) {
        switch (KindOfCode(tag.code)) {
        case ValueKind::Double: {
            const double d = Load<double>(tag.value.data());
            return std::isfinite(d) && std::fabs(d) < 9e18 ? static_cast<std::int64_t>(d) : 0;
        }
        case ValueKind::Int16:
            return Load<std::int16_t>(tag.value.data());
        case ValueKind::Int32:
            return Load<std::int32_t>(tag.value.data());
        case ValueKind::Int64:
            return Load<std::int64_t>(tag.value.data());
        case ValueKind::Bool:
            return static_cast<unsigned char>(tag.value[0]);
        default:
            break;
        }
    }
    std::int64_t value = 0;
    if (ParseInt(tag.value, value))
        return value;
    // Some writers put integers as reals ("1.0").
    double d = 0.0;
    if (ParseDouble(tag.value, d) && std::fabs(d) < 9e18)
        return static_cast<std::int64_t>(d);
    m_badNumber = true;
    return 0;
}

std::uint64_t TagReader::Handle(const RawTag& tag) const {
    const std::string_view text = TrimTagValue(tag.value);
    std::uint64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (result.ec != std::errc())
        return 0;
    return value;
}

bool ParseDouble(std::string_view text, double& value) {
    text = TrimTagValue(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = 0.0;
        return true;
    }
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseInt(std::string_view text, std::int64_t& value) {
    text = TrimTagValue(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string FormatDouble(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos)
        text += ".0";
    return text;
}

} // namespace kw::drawing::detail

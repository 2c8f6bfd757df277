#pragma once

// The lowest level of DXF reading: group code / value pairs straight out of the file's bytes,
// without copies (values are views into the buffer).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kw::drawing::detail {

inline constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

enum class ValueKind : std::uint8_t { String, Double, Int16, Int32, Int64, Bool, Binary };

// How a binary file stores the value of a group code.
ValueKind KindOfCode(int code);

struct RawTag {
    std::int32_t code = 0;
    std::string_view value;      // ASCII: the value line without its line end; binary: the bytes
                                 // (a string without its NUL, a chunk without its length byte)
    std::size_t offset = 0;      // of the group code
    std::size_t valueOffset = 0; // of the value
    std::size_t end = 0;         // offset after the tag (after the line end / the NUL)
    std::uint32_t line = 0;      // ASCII: 1-based line of the group code; binary: 0

    bool Is(int c, std::string_view v) const { return code == c && value == v; }
};

// Thrown by the reader for bytes that are no tag; the loader turns it into a DxfError.
struct TagError {
    std::size_t offset;
    std::uint32_t line;
    std::string reason;
};

class TagReader {
public:
    // `start` is where tags begin (after a byte-order mark or the binary sentinel).
    TagReader(std::string_view data, bool binary, bool oneByteCodes, std::size_t start);

    // The next tag; false at the end of the data or after (0, EOF). Throws TagError.
    bool Next(RawTag& tag) {
        if (m_hasPushed) {
            tag = m_pushed;
            m_hasPushed = false;
            return true;
        }
        if (m_done)
            return false;
        return m_binary ? NextBinary(tag) : NextAscii(tag);
    }
    // Makes the tag the next one Next returns again (one tag of look-ahead).
    void PushBack(const RawTag& tag) {
        m_pushed = tag;
        m_hasPushed = true;
    }
    // From now on a line that is no group code in an ASCII file is skipped up to the next
    // "0 / NAME" pair instead of ending the read; each skip is listed in Skipped().
    void EnableResync() { m_resync = !m_binary; }
    const std::vector<TagError>& Skipped() const { return m_skipped; }
    // Whether the data ended inside a tag or without (0, EOF).
    bool Truncated() const { return m_truncated; }
    bool SawEof() const { return m_sawEof; }
    bool Binary() const { return m_binary; }
    std::size_t Position() const { return m_pos; }

    double Double(const RawTag& tag) const;
    std::int64_t Int(const RawTag& tag) const;
    // A handle (hex text in either format).
    std::uint64_t Handle(const RawTag& tag) const;
    // Whether a numeric value could not be parsed (reset by the caller).
    bool BadNumber() const { return m_badNumber; }
    void ClearBadNumber() { m_badNumber = false; }

private:
    bool NextAscii(RawTag& tag);
    // Moves to the next line "0" that is followed by an upper-case name; false when none.
    bool Resync(std::size_t from);
    bool NextBinary(RawTag& tag);

    std::string_view m_data;
    std::size_t m_pos;
    std::uint32_t m_line = 1;
    bool m_binary;
    bool m_oneByteCodes;
    bool m_done = false;
    bool m_truncated = false;
    bool m_sawEof = false;
    bool m_hasPushed = false;
    mutable bool m_badNumber = false;
    bool m_resync = false;
    std::vector<TagError> m_skipped;
    RawTag m_pushed;
};

// Number text → value; false when the text is no number. Leading/trailing blanks are allowed.
// A tag's value without the blanks around it (and a binary string's NUL).
std::string_view TrimTagValue(std::string_view text);

bool ParseDouble(std::string_view text, double& value);
bool ParseInt(std::string_view text, std::int64_t& value);

// Shortest round-trip decimal text of a double, always with a decimal point ("420.0").
std::string FormatDouble(double value);

} // namespace kw::drawing::detail

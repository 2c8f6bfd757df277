#pragma once

// The failure of reading or writing a drawing file.

#include <cstdint>
#include <string>

#include "base/error.h"

namespace kw::drawing {

// A drawing that cannot be read or written. Number: 53 file not found, 70 permission denied,
// 75 other file-system failures, 13 (type mismatch) for content that is not a readable DXF file.
// The description names the file and, for content errors, the line (ASCII) or byte offset
// (binary), e.g. `plan.dxf: line 812: group code expected, found "ABC"`.
class DxfError : public Error {
public:
    DxfError(std::int32_t number, std::string fileName, std::uint64_t line, std::uint64_t offset,
             const std::string& reason);

    const std::string& FileName() const noexcept { return m_fileName; }
    std::uint64_t Line() const noexcept { return m_line; }     // 1-based; 0 when not known
    std::uint64_t Offset() const noexcept { return m_offset; } // byte offset in the file
    const std::string& Reason() const noexcept { return m_reason; }

private:
    std::string m_fileName;
    std::uint64_t m_line;
    std::uint64_t m_offset;
    std::string m_reason;
};

} // namespace kw::drawing

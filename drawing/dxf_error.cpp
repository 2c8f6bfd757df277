#include "drawing/dxf_error.h"

namespace kw::drawing {
namespace {

std::string Describe(const std::string& fileName, std::uint64_t line, std::uint64_t offset,
                     const std::string& reason) {
    std::string text = fileName;
    if (line > 0)
        text += ": line " + std::to_string(line);
    else if (offset > 0)
        text += ": byte offset " + std::to_string(offset);
    return text + ": " + reason;
}

} // namespace

DxfError::DxfError(std::int32_t number, std::string fileName, std::uint64_t line,
                   std::uint64_t offset, const std::string& reason)
    : Error(number, Describe(fileName, line, offset, reason)), m_fileName(std::move(fileName)),
      m_line(line), m_offset(offset), m_reason(reason) {}

} // namespace kw::drawing

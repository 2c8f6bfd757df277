#pragma once

#include "base/error.h"

namespace kw {

// A failure reported by the CAD application (or by a backend standing in for it).
class CadError : public Error {
public:
    using Error::Error;
};

namespace cad_errors {
// The object lacks the member: taken to mean a CAD release older than 2000.
inline constexpr std::int32_t kMemberNotFound = 438;
// The drawing cannot be saved on closing because it is open elsewhere (0x80210063).
inline constexpr std::int32_t kCannotSave = -2145320861;
// The plot style table does not suit the drawing's plot style type (0x80200003).
inline constexpr std::int32_t kStyleTableMismatch = -2145386493;
} // namespace cad_errors

} // namespace kw

#pragma once

#include "base/error.h"

namespace kw {

// A failure reported by the CAD application (or by a backend standing in for it).
class CadError : public Error {
public:
    using Error::Error;
};

} // namespace kw

#pragma once

#include <cstdint>
#include <functional>

#include "base/error.h"

namespace kw::test {

// The number of the Error the action throws, 0 when it throws none.
inline std::int32_t ErrorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.Number();
    }
    return 0;
}

} // namespace kw::test

#pragma once

#include <string>

namespace kw {

// The local time now in a strftime format: "%H:%M:%S", "%Y-%m-%d" …
std::string LocalTimeText(const char* format);

} // namespace kw

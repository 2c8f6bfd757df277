#pragma once

#include "base/paths.h"

namespace kw::drawing::detail {

using kw::PathFromUtf8;
using kw::Utf8FromPath;

} // namespace kw::drawing::detail

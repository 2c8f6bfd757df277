#pragma once

// The program's version from project(VERSION) in the root CMakeLists.txt, through the kw_version
// target that a user of this header links.
#ifndef KW_VERSION
#error "link the kw_version target to use base/version.h"
#endif

namespace kw {

inline constexpr const char* kVersion = KW_VERSION;
inline constexpr int kVersionMajor = KW_VERSION_MAJOR;
inline constexpr int kVersionMinor = KW_VERSION_MINOR;
inline constexpr int kVersionPatch = KW_VERSION_PATCH;

} // namespace kw

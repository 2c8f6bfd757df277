#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kw {

// The one failure type of the program: a signed 32-bit number and a description. The program's
// own failures use the classic run-time error numbers below, so that the generic message shows
// the number a user of the earlier releases would recognise.
class Error : public std::runtime_error {
public:
    Error(std::int32_t number, const std::string& description)
        : std::runtime_error(description), m_number(number) {}

    std::int32_t Number() const noexcept { return m_number; }
    std::string Description() const { return what(); }

private:
    std::int32_t m_number;
};

namespace errors {
inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;
} // namespace errors

} // namespace kw

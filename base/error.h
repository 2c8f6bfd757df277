#pragma once

#include <cstdint>
#include <exception>
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
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;
} // namespace errors

// A failure as a run records and shows it: its number and what was said of it.
struct Failure {
    std::int32_t number = 0;
    std::string description;
};

// The failure a caught exception stands for: an Error as it is, running out of memory as
// error 7 and anything else as error 51 (an internal error), so that no failure escapes a run
// unnamed. Call it inside a catch block, with std::current_exception().
Failure FailureOf(const std::exception_ptr& caught);

} // namespace kw

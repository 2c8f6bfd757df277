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

// Every failure number of the program, in one place: messages, logs and tests rely on each value.
namespace errors {

// The classic run-time error numbers: the program's own failures, shown as a user of the earlier
// releases knows them.
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
// The CAD object lacks the member: taken to mean a CAD release older than 2000.
inline constexpr std::int32_t kMemberNotFound = 438;

// The result codes (HRESULTs) the CAD reports through its automation interface, as the host CAD
// gives them; the built-in CAD reports the same codes for the same failures. All are negative.
//
// The host CAD's own:
// the drawing cannot be saved on closing because it is open elsewhere (0x80210063).
inline constexpr std::int32_t kCannotSave = -2145320861;
// the plot style table does not suit the drawing's plot style type (0x80200003).
inline constexpr std::int32_t kStyleTableMismatch = -2145386493;
//
// The general ones:
// E_FAIL (0x80004005): no drawing open, a drawing closed, a print job the device refuses.
inline constexpr std::int32_t kFailed = -2147467259;
// E_UNEXPECTED (0x8000FFFF): the file is no drawing that can be read.
inline constexpr std::int32_t kCannotOpen = -2147418113;
// E_INVALIDARG (0x80070057): a value the member refuses.
inline constexpr std::int32_t kInvalidArgument = -2147024809;
//
// The system's failures, as HRESULTs of the Win32 error numbers (0x8007xxxx); "System" marks
// those whose run-time namesake above has another number.
inline constexpr std::int32_t kSystemFileNotFound = -2147024894; // 0x80070002
inline constexpr std::int32_t kSystemPathNotFound = -2147024893; // 0x80070003
inline constexpr std::int32_t kAccessDenied = -2147024891;       // 0x80070005
inline constexpr std::int32_t kWriteFault = -2147024867;         // 0x8007001D
inline constexpr std::int32_t kDuplicateName = -2147024713;      // 0x800700B7: a name in use
inline constexpr std::int32_t kInvalidPrinter = -2147022839;     // 0x80070709

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

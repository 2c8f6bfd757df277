#include "settings/plot_settings.h"

#include <cfenv>
#include <charconv>
#include <cmath>

#include "base/error.h"
#include "base/text_file.h"

namespace kw {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A whole number in base 16 or 8 from the digits at the start of `digits`.
double LeadingWholeNumber(const std::string& digits, int base) {
    double value = 0.0;
    for (char c : digits) {
        int digit = -1;
        if (IsDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit;
    }
    if (std::isinf(value))
        throw Error(errors::kOverflow, "Overflow");
    return value;
}

} // namespace

double LeadingNumber(const std::string& text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n')
            s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        const char radix = s[1];
        if (radix == 'H' || radix == 'h')
            return LeadingWholeNumber(s.substr(2), 16);
        if (radix == 'O' || radix == 'o')
            return LeadingWholeNumber(s.substr(2), 8);
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const std::size_t numberStart = i;
    std::size_t mantissaDigits = 0;
    while (i < s.size() && IsDigit(s[i]))
        ++i, ++mantissaDigits;
    if (i + 1 < s.size() && s[i] == '.' && IsDigit(s[i + 1])) {
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i, ++mantissaDigits;
    }
    if (mantissaDigits == 0)
        return 0.0;
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j]))
                ++j;
            end = j;
        }
    }
    double value = 0.0;
    const char* first = s.data() + numberStart;
    const auto result = std::from_chars(first, s.data() + end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars reports underflow the same way; a tiny number reads as 0.
        const auto exponent = s.find_first_of("Ee", numberStart);
        if (exponent != std::string::npos && exponent < end && s[exponent + 1] == '-')
            return 0.0;
        throw Error(errors::kOverflow, "Overflow");
    }
    return negative ? -value : value;
}

std::int16_t ToInt16(double value) {
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        throw Error(errors::kOverflow, "Overflow");
    return static_cast<std::int16_t>(rounded);
}

std::int16_t CopiesFromText(const std::string& text) {
    return ToInt16(LeadingNumber(TrimBlanks(text)));
}

double PlotSettings::FrameLengthMm() const {
    return LeadingNumber(frameLength);
}
double PlotSettings::PointAllowanceMm() const {
    return LeadingNumber(pointAllowance);
}
double PlotSettings::OffsetXMm() const {
    return LeadingNumber(offsetX);
}
double PlotSettings::OffsetYMm() const {
    return LeadingNumber(offsetY);
}
std::int16_t PlotSettings::Copies() const {
    return CopiesFromText(copies);
}

} // namespace kw

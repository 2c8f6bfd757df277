#include <gtest/gtest.h>

#include "tests/support/error_number.h"

#include <functional>

#include "base/error.h"
#include "settings/plot_settings.h"

namespace kw {
namespace {

using test::ErrorNumberOf;

TEST(LeadingNumber, ReadsTheLongestLeadingNumberIgnoringBlanks) {
    EXPECT_DOUBLE_EQ(LeadingNumber("3 80"), 380.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(" \t3\n8 0 "), 380.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("12.5mm"), 12.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("1,000"), 1.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("-2.5"), -2.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("+7"), 7.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("380."), 380.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(LeadingNumber("2E3"), 2000.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("2e-1x"), 0.2);
    EXPECT_DOUBLE_EQ(LeadingNumber("5E"), 5.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("5Em"), 5.0);
    // A carriage return is no blank: it ends the number.
    EXPECT_DOUBLE_EQ(LeadingNumber("4\r2"), 4.0);
}

TEST(LeadingNumber, TextWithoutANumberIsZero) {
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("abc"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("-"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("E5"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("图框"), 0.0);
}

TEST(LeadingNumber, ReadsHexadecimalAndOctalWholeNumbers) {
    EXPECT_DOUBLE_EQ(LeadingNumber("&H1F"), 31.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("&hff zz"), 255.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("&O17"), 15.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("&o19"), 1.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("&Hxyz"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("&X5"), 0.0);
}

TEST(LeadingNumber, ANumberBeyondADoubleIsAnOverflow) {
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("1e400"); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("-1e400"); }), 6);
    EXPECT_DOUBLE_EQ(LeadingNumber("1e-400"), 0.0);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("&H" + std::string(300, 'F')); }), 6);
}

TEST(Copies, RoundHalfToEvenWithinSixteenBits) {
    EXPECT_EQ(CopiesFromText("2.5"), 2);
    EXPECT_EQ(CopiesFromText("3.5"), 4);
    EXPECT_EQ(CopiesFromText(" 3 "), 3);
    EXPECT_EQ(CopiesFromText("-0.5"), 0);
    EXPECT_EQ(CopiesFromText("abc"), 0);
    EXPECT_EQ(CopiesFromText("32767"), 32767);
    EXPECT_EQ(CopiesFromText("-32768"), -32768);
    EXPECT_EQ(ErrorNumberOf([] { CopiesFromText("40000"); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CopiesFromText("32767.5"); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CopiesFromText("-32768.6"); }), 6);
}

} // namespace
} // namespace kw

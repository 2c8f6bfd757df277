#include <gtest/gtest.h>

#include "drawing/detail/codepage.h"
#include "drawing/text.h"

namespace kw::drawing::detail {
namespace {

TEST(CodePage, DecodesGbkAndTheOtherPagesOfTheTestData) {
    EXPECT_EQ(CodePage("ANSI_936", false).Decode("\xCD\xBC\xBF\xF2"), "图框");
    EXPECT_EQ(CodePage("ansi_936", false).Decode("\x80"), "€"); // GBK as the host writes it
    EXPECT_EQ(CodePage("ANSI_1252", false).Decode("\xC4\xDC\xD6"), "ÄÜÖ");
    EXPECT_EQ(CodePage("dos850", false).Decode("\x81\x94"), "üö");
    EXPECT_EQ(CodePage("dos932", false).Decode("\x93\xFA\x96\x7B"), "日本");
    EXPECT_EQ(CodePage("ANSI_1256", false).Decode("\xC7"), "ا");
    EXPECT_EQ(CodePage("ANSI_1250", false).Decode("\xE8"), "č");
    EXPECT_EQ(CodePage("ANSI_1251", false).Decode("\xC6"), "Ж");
    // ASCII, UNDEFINED and names the reader does not know read as Windows-1252.
    EXPECT_EQ(CodePage("ASCII", false).Decode("\xE9"), "é");
    EXPECT_EQ(CodePage("UNDEFINED", false).Decode("\xE9"), "é");
    EXPECT_EQ(CodePage("", false).Decode("\xE9"), "é");
    EXPECT_EQ(IconvName("ANSI_936"), "GBK");
}

TEST(CodePage, DecodesUnicodeEscapesOfExactlyFourHexDigits) {
    const CodePage page("ANSI_1252", false);
    EXPECT_EQ(page.Decode("\\U+010da 4mm"), "ča 4mm");
    EXPECT_EQ(page.Decode("\\U+56FE\\U+6846"), "图框");
    EXPECT_EQ(page.Decode("\\u+00fc"), "ü");
    EXPECT_EQ(page.Decode("\\U+12"), "\\U+12");     // too short: kept as written
    EXPECT_EQ(page.Decode("\\U+12G4"), "\\U+12G4"); // not hex
    EXPECT_EQ(page.Decode("a\\Pb"), "a\\Pb");       // MTEXT codes stay for the renderer
}

TEST(CodePage, DecodesMultibyteEscapesByTheirCodePageNumber) {
    const CodePage page("ANSI_1252", true);
    EXPECT_EQ(page.Decode("\\M+5CDBC"), "图");
    EXPECT_EQ(page.Decode("\\M+193FA"), "日");
    EXPECT_EQ(page.Decode("x\\M+9CDBCy"), "x\\M+9CDBCy"); // no such code page
}

TEST(CodePage, Utf8FilesFallBackToWindows1252ForBytesThatAreNoUtf8) {
    const CodePage page("ANSI_936", true);
    EXPECT_EQ(page.Decode("图框"), "图框");
    EXPECT_EQ(page.Decode("caf\xE9"), "café");
}

TEST(CodePage, UndecodableBytesBecomeReplacementCharacters) {
    const CodePage page("ANSI_936", false);
    EXPECT_EQ(page.Decode("a\xFF"), "a\xEF\xBF\xBD");
    EXPECT_EQ(page.Decode("\xCD"), "\xEF\xBF\xBD"); // a lead byte cut off at the end
}

TEST(CodePage, EncodesWhatThePageHoldsAndEscapesTheRest) {
    EXPECT_EQ(CodePage("ANSI_936", false).Encode("图框.ctb"), "\xCD\xBC\xBF\xF2.ctb");
    EXPECT_EQ(CodePage("ANSI_936", false).Encode("ก"), "\\U+0E01");
    EXPECT_EQ(CodePage("ANSI_1252", false).Encode("é图"), "\xE9\\U+56FE");
    EXPECT_EQ(CodePage("ANSI_1252", true).Encode("图"), "图");
}

TEST(Text, FoldsCaseBeyondAscii) {
    EXPECT_EQ(FoldCase("RmTK"), "rmtk");
    EXPECT_EQ(FoldCase("ÄÖÜ ČŠŽ ΛΑΓ ЖЯ"), "äöü čšž λαγ жя");
    EXPECT_EQ(FoldCase("图框"), "图框");
}

TEST(Text, DecodesCaretsAndStripsMTextCodes) {
    EXPECT_EQ(DecodeCaret("abc^Jdef^ x^a"), "abc\ndef^x^a");
    EXPECT_EQ(PlainMText("{\\fSimSun|b0|i0;图框}\\P\\H2.5;A\\S1^2;\\~B\\\\"), "图框\nA1/2 B\\");
}

} // namespace
} // namespace kw::drawing::detail

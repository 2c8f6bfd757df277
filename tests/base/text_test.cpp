// Names the CAD compares without regard to case: ASCII letters fold, everything else (the UTF-8
// of Chinese layer and file names) stays as it is.

#include <gtest/gtest.h>

#include "base/characters.h"
#include "base/paths.h"
#include "base/text_file.h"

namespace kw {
namespace {

TEST(AsciiCase, LettersFoldAndEveryOtherByteStays) {
    EXPECT_EQ(AsciiLower("ByLayer 图框 ÄÖ.DWG"), "bylayer 图框 ÄÖ.dwg");
    EXPECT_EQ(AsciiUpper("continuous 图框 äö"), "CONTINUOUS 图框 äö");
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    for (const Case& c : {Case{"BYBLOCK", "byblock", true}, Case{"图框", "图框", true},
                          Case{"ÄA", "äa", false}, Case{"Dashed", "DASHED2", false},
                          Case{"", "", true}, Case{"a", "", false}})
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
}

TEST(AsciiCase, ExtensionsAreFoundInAnyLetterCase) {
    struct Case {
        const char* path;
        bool dwg;
    };
    for (const Case& c : {Case{"D:\\图纸\\总图.dwg", true}, Case{"a.DWG", true}, Case{"a.dWg", true},
                          Case{"a.dwgx", false}, Case{"a.dxf", false}, Case{"dwg", false},
                          Case{"", false}})
        EXPECT_EQ(HasExtension(c.path, ".dwg"), c.dwg) << c.path;
}

TEST(Trimming, BlanksAreSpacesOnlyWhiteSpaceIsEveryKind) {
    EXPECT_EQ(TrimBlanks("  图框 \t"), "图框 \t");
    EXPECT_EQ(TrimWhitespace(" \t图框 A\r\n"), "图框 A");
    EXPECT_EQ(TrimWhitespace(" \r\n\t "), "");
    EXPECT_EQ(TrimBlanks("   "), "");
}

} // namespace
} // namespace kw

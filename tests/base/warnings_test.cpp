#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/warnings.h"

namespace kw {
namespace {

using Texts = std::vector<std::string>;

TEST(Warnings, EachTextOnceUpToTheCapAndEachTakenOnce) {
    Warnings warnings(3);
    EXPECT_TRUE(warnings.Add("font not found: a.shx"));
    EXPECT_FALSE(warnings.Add("font not found: a.shx"));
    EXPECT_TRUE(warnings.Add("font not found: b.shx"));
    EXPECT_EQ(warnings.Take(), (Texts{"font not found: a.shx", "font not found: b.shx"}));
    EXPECT_TRUE(warnings.Take().empty());

    // A text taken already stays said; past the cap nothing more is kept.
    EXPECT_FALSE(warnings.Add("font not found: b.shx"));
    EXPECT_TRUE(warnings.Add("image \"x.png\" was not found or could not be read"));
    EXPECT_FALSE(warnings.Add("line 12: more"));
    EXPECT_EQ(warnings.Take(), (Texts{"image \"x.png\" was not found or could not be read"}));
    EXPECT_EQ(warnings.All(), (Texts{"font not found: a.shx", "font not found: b.shx",
                                     "image \"x.png\" was not found or could not be read"}));

    Warnings flood;
    for (int i = 0; i < 1000; ++i)
        flood.Add("line " + std::to_string(i) + ": group code expected");
    ASSERT_EQ(flood.size(), Warnings::kCap);
    EXPECT_EQ(flood.All().back(), "line 199: group code expected");
    EXPECT_EQ(flood.Take().size(), Warnings::kCap);
}

} // namespace
} // namespace kw

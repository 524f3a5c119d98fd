#include <gtest/gtest.h>

#include "remote/LoginInformation.h"

namespace {

TEST(LoginInformationRules, BlanksEmptinessAndLineBreaks) {
    EXPECT_TRUE(IsValidLoginText("a", "b"));
    EXPECT_FALSE(IsValidLoginText("", "b"));
    EXPECT_FALSE(IsValidLoginText("a b", "b"));
    EXPECT_TRUE(CheckLoginInformation("h", "u", "pass with blanks").ok);
    EXPECT_EQ(CheckLoginInformation("h", "u\r\nPASS x", "p").focusId, 1693);
    EXPECT_EQ(CheckLoginInformation("h", "u", std::string("p\0q", 3)).focusId, 1642);
}

}  // namespace

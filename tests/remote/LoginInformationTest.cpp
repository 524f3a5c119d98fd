#include <gtest/gtest.h>

#include "remote/LoginInformation.h"

namespace {

TEST(LoginInformationRules, BlanksEmptinessAndLineBreaks) {
    EXPECT_TRUE(IsValidLoginText("a", "b"));
    EXPECT_FALSE(IsValidLoginText("", "b"));
    EXPECT_FALSE(IsValidLoginText("a", ""));
    EXPECT_FALSE(IsValidLoginText("a b", "b"));
    EXPECT_FALSE(IsValidLoginText("a", "b "));
    EXPECT_TRUE(CheckLoginInformation("h", "u", "pass with blanks").ok);
    EXPECT_EQ(CheckLoginInformation("h", "u\r\nPASS x", "p").focusId, 1693);
    EXPECT_EQ(CheckLoginInformation("h", "u", std::string("p\0q", 3)).focusId, 1642);
}

TEST(LoginInformationRules, TheHostIsCheckedFirstThenTheUserAndThePasswordMayBeEmpty) {
    LoginCheck c = CheckLoginInformation("my host", "", "");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Invalid host. Cannot be empty. Cannot have blanks.");
    EXPECT_EQ(c.focusId, 1626);

    c = CheckLoginInformation("", "u", "p");
    EXPECT_EQ(c.message, "Invalid host. Cannot be empty. Cannot have blanks.");

    c = CheckLoginInformation("host", "   ", "p");
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, "Invalid username. Cannot be empty. Cannot have blanks.");
    EXPECT_EQ(c.focusId, 1693);

    c = CheckLoginInformation("host", "user", "");
    EXPECT_TRUE(c.ok);
    EXPECT_TRUE(c.message.empty());
}

}  // namespace

// The version comparison and the reading of the update server's version file.
#include <gtest/gtest.h>

#include "settings/UpdateCheck.h"
#include "support/TempDir.h"

TEST(UpdateCheck, VersionsCompareFieldByField) {
    EXPECT_EQ(CompareVersionNumbers("1.0.736.0", "1.0.735.0"), 1);
    EXPECT_EQ(CompareVersionNumbers("1.0.735.0", "1.0.735.0"), -1);
    EXPECT_EQ(CompareVersionNumbers("1.0.735", "1.0.735.0"), -1);
    EXPECT_EQ(CompareVersionNumbers("1.0.734.9", "1.0.735.0"), 0);
    EXPECT_EQ(CompareVersionNumbers("2", "1.9.9.9"), 1);
    EXPECT_EQ(CompareVersionNumbers("1.0.1000.0", "1.0.735.0"), 1);  // numbers, not text
    EXPECT_EQ(CompareVersionNumbers("1.0.x.0", "1.0.0.0"), -1);       // a field that is no number is 0
    EXPECT_EQ(CompareVersionNumbers("1.0.x.0", "1.0.735.0"), 0);
}

TEST(UpdateCheck, AnEmptyOrNonNumericVersionFileIsNoVersion) {
    EXPECT_EQ(ParseVersionFile("1.0.736.0\r\nnotes\r\n"), "1.0.736.0");
    EXPECT_EQ(ParseVersionFile("1.0.735\n"), "1.0.735");
    EXPECT_EQ(ParseVersionFile("1.0.735.0"), "1.0.735.0");
    EXPECT_EQ(ParseVersionFile("1.0.x.0\n"), "1.0.x.0");
    for (const char* bad : {"", "\n", "\r\n1.0.736.0", "<html>404</html>", "1..0",
                            ".1.0", "1.0.", "v1.0"})
        EXPECT_FALSE(ParseVersionFile(bad).has_value()) << bad;
}

TEST(UpdateCheck, TheThreeVerdicts) {
    CheckVerdict newer = MakeCheckVerdict("1.0.736.0", "1.0.735.0");
    EXPECT_TRUE(newer.newer);
    EXPECT_EQ(newer.message,
              "You do not have the latest. Your machine has: 1.0.735.0 Latest version is: 1.0.736.0"
              "\r\n\r\nSelect \"OK\" to proceed with automatic download. Otherwise, click on\r\n"
              "\"Get Latest\" button, whenever ready to get the latest from web.");
    EXPECT_EQ(newer.log, "\r\n    --- Checking complete ---\r\n    You need to download the latest.\r\n"
                         "    Use \"Get Latest\" above.");
    CheckVerdict same = MakeCheckVerdict("1.0.735", "1.0.735.0");
    EXPECT_FALSE(same.newer);
    EXPECT_EQ(same.message, "You have the latest! All fine.");
    EXPECT_EQ(same.log, "\r\n    --- Checking complete ---\r\n    You have the latest! All fine.");
    EXPECT_EQ(MakeCheckVerdict("1.0.734.9", "1.0.735.0").message, "No idea how you got a newer image.");
}

TEST(UpdateCheck, TheServerAddressComesFromTheEnvironment) {
    {
        ScopedEnv url("QVL_UPDATE_URL", "http://127.0.0.1:8000");
        EXPECT_EQ(UpdateBaseUrl(), "http://127.0.0.1:8000/");
        EXPECT_EQ(VersionFileUrl(UpdateBaseUrl()), "http://127.0.0.1:8000/download/QVL-Version.txt");
        EXPECT_EQ(UpdaterUrl(UpdateBaseUrl()), "http://127.0.0.1:8000/download/UpdateQVL_2.exe");
    }
    ScopedEnv none("QVL_UPDATE_URL", "");
    EXPECT_EQ(UpdateBaseUrl(), "");
}

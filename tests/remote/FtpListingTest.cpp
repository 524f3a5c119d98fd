#include <gtest/gtest.h>

#include <filesystem>

#include "remote/FtpClient.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> Names(const std::vector<CDirEntry>& entries) {
    std::vector<std::string> out;
    for (const CDirEntry& e : entries) out.push_back(e.strName + (e.bIsDir ? "/" : ""));
    return out;
}

std::vector<std::string> Unix(const std::string& text, const std::string& pattern = "*") {
    std::vector<CDirEntry> e;
    CFtpClient::ParseUnixListingText(text, pattern, e);
    return Names(e);
}

std::vector<std::string> Vms(const std::string& text, const std::string& pattern = "*.*") {
    std::vector<CDirEntry> e;
    CFtpClient::ParseVmsListingText(text, pattern, e);
    return Names(e);
}

using V = std::vector<std::string>;

TEST(UnixListing, DirectoriesFirstThenFilesLinksGiveTheirOwnName) {
    std::string text =
        "total 24\r\n"
        "drwxr-xr-x   2 ann  staff   4096 Jan  3 10:15 src\r\n"
        "-rw-r--r--   1 ann  staff    120 Jan  3  2019 a.c\r\n"
        "lrwxrwxrwx   1 ann  staff      6 Dec 24 09:00 lnk -> target\r\n";
    EXPECT_EQ(Unix(text), (V{"src/", "a.c", "lnk"}));
    EXPECT_EQ(Unix(text, "*.DIR"), (V{"src/"}));
}

TEST(UnixListing, NamesWithBlanksAndOwnersWithBlanksKeepTheWholeName) {
    std::string text =
        "-rw-r--r--   1 ann  staff    120 Jan  3 10:15 my file.txt\n"
        "-rw-r--r--   1 John Smith  Domain Users  55 Feb 28  2020 report 2.txt\n"
        "drwxr-xr-x   1 owner group 0 Mar 1 12:00   lead blanks\n";
    EXPECT_EQ(Unix(text), (V{"  lead blanks/", "my file.txt", "report 2.txt"}));
}

TEST(UnixListing, LfOnlyListingsAndALastLineWithoutLineEndParse) {
    EXPECT_EQ(Unix("-rw-r--r-- 1 a b 1 Jan 1 00:00 one\n-rw-r--r-- 1 a b 1 Jan 1 00:00 two"),
              (V{"one", "two"}));
}

TEST(UnixListing, OnlyAFirstTotalLineIsSkipped) {
    // A file named "total 5" in the middle of the listing is an entry like
    // any other; nothing before it is dropped.
    std::string text =
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 first\r\n"
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 total 5\r\n"
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 last\r\n";
    EXPECT_EQ(Unix(text), (V{"first", "total 5", "last"}));
    EXPECT_EQ(Unix("total 0\r\n"), V{});
    // The line in ls's other languages, and with -h.
    EXPECT_EQ(Unix("insgesamt 8\r\n-rw-r--r-- 1 a b 1 Jan 1 00:00 a\r\n"), (V{"a"}));
    EXPECT_EQ(Unix("\xE5\x90\x88\xE8\xA8\x88 8\r\n"), V{});
    EXPECT_EQ(Unix("total 8,0K\r\n"), V{});
    // The status check does not take it for the line of a file named "8".
    EXPECT_EQ(CFtpClient::UnixListingName("insgesamt 8"), "");
}

TEST(UnixListing, DotNamesHiddenFilesAndNamesWithSlashAreSkipped) {
    std::string text =
        "drwxr-xr-x 2 a b 1 Jan 1 00:00 .\r\n"
        "drwxr-xr-x 2 a b 1 Jan 1 00:00 ..\r\n"
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 .profile\r\n"
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 ../../etc/passwd\r\n"
        "-rw-r--r-- 1 a b 1 Jan 1 00:00 ok\r\n";
    EXPECT_EQ(Unix(text), (V{"ok"}));
}

TEST(UnixListing, WithoutADateTheLastWordIsTheName) {
    EXPECT_EQ(Unix("-rw-r--r-- something odd name.txt\r\nnoblank\r\n"), (V{"name.txt"}));
    EXPECT_EQ(Unix("lrwx odd lnk -> target\r\n"), (V{"lnk"}));
}

TEST(VmsListing, HeaderSkippedDirectoriesByTheirTypeOnly) {
    std::string text =
        "Directory DKA0:[USER]\r\n\r\n"
        "LOGIN.COM;3         2/3      12-JAN-2020 10:00:00.00\r\n"
        "SUB.DIR;1           1/3      12-JAN-2020 10:00:00.00\r\n"
        "X.DIRT;1            1/3      12-JAN-2020 10:00:00.00\r\n"
        "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT;1\r\n"
        "                    1/3      12-JAN-2020 10:00:00.00\r\n"
        "\r\nTotal of 4 files, 5/12 blocks.\r\n";
    EXPECT_EQ(Vms(text), (V{"SUB/", "LOGIN.COM", "X.DIRT", "A_VERY_LONG_FILE_NAME_THAT_WRAPS.TXT"}));
    EXPECT_EQ(Vms(text, "*.DIR"), (V{"SUB/"}));
}

TEST(VmsListing, LowerCaseTypeAndDotNames) {
    EXPECT_EQ(Vms("Directory X\nsub.dir;1 1/3\n.DIR;1 1/3\n"), (V{"sub/", ".DIR"}));
}

TEST(VmsListing, AnArrowGivesNoEntries) {
    EXPECT_EQ(Vms("Directory X\r\nA.TXT;1 x -> y\r\n"), V{});
}

}  // namespace

namespace {

// Every folder of tests/data/remote/listings is one case: listing.txt (the
// bytes of the data connection), kind ("unix" or "vms", then an optional
// pattern line) and expected.txt (one entry per line, directories with "/").
TEST(ListingGolden, EveryCaseFolderParsesToItsExpectedEntries) {
    const std::filesystem::path root = std::filesystem::path(QVL_TEST_DATA) / "remote" / "listings";
    int cases = 0;
    for (const auto& dir : std::filesystem::directory_iterator(root)) {
        std::string kind = ReadFile((dir.path() / "kind").string());
        std::string pattern = "*";
        size_t nl = kind.find('\n');
        if (nl != std::string::npos) {
            std::string rest = kind.substr(nl + 1);
            kind.resize(nl);
            if (!rest.empty() && rest.back() == '\n') rest.pop_back();
            if (!rest.empty()) pattern = rest;
        }
        std::string listing = ReadFile((dir.path() / "listing.txt").string());
        std::vector<std::string> got = kind == "vms" ? Vms(listing, pattern) : Unix(listing, pattern);
        std::string joined;
        for (const std::string& g : got) joined += g + "\n";
        EXPECT_EQ(joined, ReadFile((dir.path() / "expected.txt").string())) << dir.path();
        ++cases;
    }
    EXPECT_GE(cases, 6);
}

}  // namespace

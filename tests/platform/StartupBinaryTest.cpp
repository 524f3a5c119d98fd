// Runs the built program as a user would, without a display.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/RunProgram.h"

namespace fs = std::filesystem;

TEST(StartupBinary, CommandLineRoadCreatesFoldersAndAppendsToTheLog) {
    TempDir tmp;
    std::string root = tmp / "area";
    std::string log = root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt";

    // A job that cannot run at all says why and ends non-zero; the log has it too.
    ProgramRun first = RunProgram({"-input=/nowhere"}, root, tmp / "err1");
    EXPECT_NE(first.exitCode, 0);
    EXPECT_NE(first.err.find("/nowhere"), std::string::npos) << first.err;
    for (const char* f : {"QVL-WorkFiles/Loading-Area/BackUp", "QVL-WorkFiles/Loading-Area/temp",
                          "QVL-WorkFiles/Cmd-Area", "QVL-UserInfo/BufferText",
                          "QVL-UserInfo/SessionInfo/Deprecated",
                          "QVL-UserInfo/SessionInfo/BackUp", "QVL-UserInfo/LibraryInfo"})
        EXPECT_TRUE(fs::is_directory(root + "/" + f)) << f;
    std::string once = ReadFile(log);
    EXPECT_NE(once.find("Command line: -input=/nowhere"), std::string::npos) << once;
    EXPECT_NE(once.find("Batch conversion executed at: "), std::string::npos);
    EXPECT_EQ(once.find('\r'), std::string::npos);

    // Any text at all runs batch mode; the log grows.
    ProgramRun second = RunProgram({"anything"}, root, tmp / "err2");
    EXPECT_NE(second.exitCode, 0);
    std::string twice = ReadFile(log);
    EXPECT_EQ(twice.substr(0, once.size()), once);
    EXPECT_NE(twice.find("Command line: anything", once.size()), std::string::npos);
    EXPECT_GT(twice.size(), once.size());

    // An empty argument is a job too: one without an input.
    ProgramRun empty = RunProgram({""}, root, tmp / "err3");
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.err.find("No input file or directory specified."), std::string::npos) << empty.err;
    const std::string thrice = ReadFile(log);
    EXPECT_NE(thrice.find("Command line: \n", twice.size()), std::string::npos) << thrice;
    EXPECT_NE(thrice.find("No input file or directory specified.", twice.size()), std::string::npos);
}

TEST(StartupBinary, FolderFailuresGoToStandardErrorAndStartUpGoesOn) {
    TempDir tmp;
    std::string root = tmp / "area";
    fs::create_directories(root + "/QVL-UserInfo");
    WriteFile(root + "/QVL-UserInfo/BufferText", "a file in a folder's place");
    ProgramRun r = RunProgram({"-x"}, root, tmp / "err");
    EXPECT_NE(r.err.find("Failed to make the folders of the work area in " + root + "/:\r\n" + root +
                         "/QVL-UserInfo/BufferText/  (a file stands in its way)\r\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_directory(root + "/QVL-UserInfo/LibraryInfo"));
    EXPECT_TRUE(fs::exists(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt"));
}

TEST(StartupBinary, ALogThatCannotBeOpenedEndsWithAReason) {
    TempDir tmp;
    std::string root = tmp / "area";
    fs::create_directories(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt");  // a folder, not a file
    ProgramRun r = RunProgram({"-x"}, root, tmp / "err");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("cmd_log.txt"), std::string::npos) << r.err;
}

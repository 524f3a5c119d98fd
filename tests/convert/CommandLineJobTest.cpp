// The batch job run as a process with a temporary work area.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "convert/CommandLineJob.h"
#include "model/TextUtil.h"
#include "support/RunProgram.h"

namespace fs = std::filesystem;

namespace {
class JobTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = tmp / "root";
        in = tmp / "In";
        fs::create_directories(in + "/Sub");
        fs::create_directories(root);
        WriteFile(in + "/a.txt", "cat 2024-01-02\n");
        WriteFile(in + "/Sub/b.txt", "a cat\r\nno\r\n");
        WriteFile(in + "/Sub/c.log", "cat\n");
        WriteFile(in + "/d.txt", "nothing\n");
        // A library file with two libraries: 0 swaps dates, 1 turns cat into dog.
        std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
        std::string lib0 = block;
        const std::string plain = "x\n---x---\nIsActive=Yes, IsFindWild=No, IsRepWild=No,";
        lib0.replace(lib0.find(plain), plain.size(),
                     "^d-^d-^d\n<^d3>.<^d2>.<^d1>\nIsActive=Yes, IsFindWild=Yes, IsRepWild=Yes,");
        std::string header = "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n";
        std::string lib1 = block.substr(block.find('\n') + 1);  // without the begin frame
        lib1 = lib1.substr(0, lib1.find("~*~ (1.2)-"));
        lib1.replace(lib1.find("x\n---x---\n"), 10, "cat\ndog\n");
        lib0.insert(lib0.find("~*~ (1.2)-"), lib1);
        libfile = tmp / "lib.txt";
        WriteFile(libfile, header + lib0);
    }

    JobRun Run(const std::vector<std::string>& args) {
        return RunJob(args, root, tmp / "stderr.txt", tmp.path());
    }

    // The log with the temporary folder and the two time lines masked.
    std::string Masked(std::string log) const {
        log = std::regex_replace(log, std::regex("executed at: .*"), "executed at: <TIME>");
        log = std::regex_replace(log, std::regex("processing time: .*"), "processing time: <TIME>");
        for (std::string t : {tmp.path(), ToLowerAscii(tmp.path())})
            for (std::size_t p; (p = log.find(t)) != std::string::npos;)
                log.replace(p, t.size(), "<TMP>");
        return log;
    }

    TempDir tmp;
    std::string root, in, libfile;
};
}  // namespace

TEST_F(JobTest, FolderModeWithFiltersWritesTheLogBlock) {
    JobRun r = Run({"-Input=" + in + ",", "-OUTPUT=" + tmp / "Out" + ",", "-libfile=" + libfile + ",",
                    "-libind=0,", "-exclude=.log"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(tmp / "Out/a.txt"), "cat 02.01.2024\n");
    EXPECT_EQ(ReadFile(tmp / "Out/Sub/b.txt"), "a cat\r\nno\r\n");  // copied as it was
    EXPECT_EQ(ReadFile(tmp / "Out/d.txt"), "nothing\n");
    EXPECT_FALSE(fs::exists(tmp / "Out/Sub/c.log"));
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");  // the input is left alone
    EXPECT_NE(r.err.find("Warning: \"Default values were used"), std::string::npos) << r.err;
    std::string expected =
        ReadFile(std::string(QVL_TEST_DATA) + "/convert/job_folder_log.txt");
    EXPECT_EQ(Masked(r.log), expected);
}

TEST_F(JobTest, IncludeFilterAndAMethodInCapitals) {
    JobRun r = Run({"-input=" + in + ",", "-output=" + tmp / "Inc,", "-libfile=" + libfile + ",",
                    "-libind=1,", "-include=.log,", "-CVT=KL,", "-default=y"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(tmp / "Inc/Sub/c.log"), "dog\n");
    EXPECT_FALSE(fs::exists(tmp / "Inc/a.txt"));
    EXPECT_FALSE(fs::exists(tmp / "Inc/Sub/b.txt"));
    EXPECT_NE(r.log.find("   Files Included: .log\n   Files Excluded: (none)\n"), std::string::npos)
        << r.log;
    EXPECT_EQ(r.log.find("{Default -cvt=fr"), std::string::npos);
}

TEST_F(JobTest, FileModeWithoutOutputWritesBackOverTheInput) {
    JobRun r = Run({"-input=" + in + "/Sub/b.txt,", "-libfile=" + libfile + ",", "-libind=1,",
                    "-default=yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(in + "/Sub/b.txt"), "a dog\r\nno\r\n");  // with the line ends it had
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.log.find("Summary: File mode."), std::string::npos);
    EXPECT_EQ(r.log.find("Files Included"), std::string::npos);
    EXPECT_NE(r.log.find("Success if no error message above."), std::string::npos);
}

TEST_F(JobTest, AMacroTakingLineBreaksApartLeavesTheLineEndsOfTheInput) {
    // Find ** takes the whole text; the replacement turns the LF (^n) or the
    // CR (^r) of each line break into ";". What is left of a line break is no
    // line end; a line break left keeps the input's line end.
    std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
    const std::string plain = "x\n---x---\nIsActive=Yes, IsFindWild=No, IsRepWild=No,";
    const std::string header = "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n";
    const struct {
        std::string tag, input, output;
    } cases[] = {{"^n", "a\r\nb\r\nc", "a;b;c"},
                 {"^n", "a\nb\nc", "a;b;c"},
                 {"^r", "a\r\nb\r\nc", "a;\r\nb;\r\nc"},
                 {"^r", "a\nb\nc", "a;\nb;\nc"}};
    for (const auto& c : cases) {
        std::string lib = block;
        lib.replace(lib.find(plain), plain.size(),
                    "**\n<*1?" + c.tag + "=;>\nIsActive=Yes, IsFindWild=Yes, IsRepWild=Yes,");
        WriteFile(libfile, header + lib);
        WriteFile(tmp / "lines.txt", c.input);
        JobRun r = Run({"-input=" + tmp / "lines.txt,", "-output=" + tmp / "joined.txt,",
                        "-libfile=" + libfile + ",", "-default=y"});
        EXPECT_EQ(r.exitCode, 0) << r.log;
        EXPECT_EQ(ReadFile(tmp / "joined.txt"), c.output) << c.tag << " on " << c.input.size() << " bytes";
    }
}

TEST_F(JobTest, ALibraryBlockWithoutItsOptionalSectionsDrawsNoWarning) {
    // Only a macro list: the library keeps its default type-cards and delimiters.
    WriteFile(libfile, "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n"
                       "~*~ (1.2)+ Wild find and replace libraries: \n"
                       "LibName=Cats, NothingYetStr=, NothingYetInt=0, \n"
                       "~X~ Wild find rep macro list: \n"
                       "cat\ndog\nIsActive=Yes, IsFindWild=No, IsRepWild=No, IsMatchCase=Yes, "
                       "IsPerLine=No, IsCompConst=No, IsSubFilter=No, IsDelimParse=No, \n"
                       "~o~ End of wild find rep macro list: 1\n"
                       "~*~ (1.2)- End of wild find and replace libraries: \n");
    JobRun r = Run({"-input=" + in + "/Sub/c.log,", "-libfile=" + libfile + ",", "-libind=0,", "-default=yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(in + "/Sub/c.log"), "dog\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(JobTest, RelativeInputIsTakenAgainstTheCurrentFolder) {
    JobRun r = Run({"-input=In/a.txt,", "-output=rel-out.txt,", "-libfile=lib.txt,", "-default=y"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(tmp / "rel-out.txt"), "cat 02.01.2024\n");
}

TEST_F(JobTest, FailuresGiveTheirMessageAndExitCode) {
    // No input at all.
    JobRun r = Run({"-libfile=" + libfile});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("No input file or directory specified."), std::string::npos);
    EXPECT_NE(r.err.find("Error: \"No input file"), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("processing time: "), std::string::npos);

    // Items separated by blanks run together into the input value.
    r = Run({"-input=" + in, "-libfile=" + libfile});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("No such input file or directory named " + in + " -libfile="),
              std::string::npos)
        << r.log;

    // A bad library index converts nothing. The error text has no line end
    // of its own: the equals line of the closing block continues it.
    r = Run({"-input=" + in + ",", "-libfile=" + libfile + ",", "-libind=2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Masked(r.log),
              ReadFile(std::string(QVL_TEST_DATA) + "/convert/job_error_log.txt"));
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");
    r = Run({"-input=" + in + ",", "-libfile=" + libfile + ",", "-libind=-1"});
    EXPECT_EQ(r.exitCode, 1);
    r = Run({"-input=" + in + ",", "-libfile=" + libfile + ",", "-libind=one"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("Invalid library index one"), std::string::npos) << r.log;

    // A missing library file, and one of random bytes.
    r = Run({"-input=" + in + ",", "-libfile=" + tmp / "none.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("No such library named " + tmp / "none.txt"), std::string::npos);
    std::string junk;
    for (int i = 0; i < 5000; ++i) junk += static_cast<char>((i * 7919) % 256);
    WriteFile(tmp / "junk.txt", junk);
    r = Run({"-input=" + in + ",", "-libfile=" + tmp / "junk.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("Invalid library index from"), std::string::npos);

    // A bad method.
    r = Run({"-input=" + in + ",", "-cvt=XX"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("Incorect conversion method specified."), std::string::npos);

    // A misspelt option is named, and nothing is converted in place meanwhile.
    r = Run({"-input=" + in + "/a.txt,", "-ouptut=" + tmp / "new.txt,", "-libfile=" + libfile + ",",
             "-default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("Unknown option -ouptut=. The options are -input=, -output=,"), std::string::npos)
        << r.log;
    EXPECT_NE(r.err.find("Error: \"Unknown option -ouptut="), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");
    EXPECT_FALSE(fs::exists(tmp / "new.txt"));
    // So is a repeated one, in any case, and an item that is no option at all.
    r = Run({"-input=" + in + "/a.txt,", "-INPUT=" + in + "/d.txt,", "-libfile=" + libfile + ",",
             "-default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("The option -input= is given more than once. Aborted.======"), std::string::npos)
        << r.log;
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");
    r = Run({"-input=" + in + "/a.txt,", "-libfile=" + libfile + ",", "default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("Unknown option default=."), std::string::npos) << r.log;
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");

    // A comma left out after a value: the option after it would be lost in
    // that value (here the output, and the input converted in place).
    r = Run({"-input=" + in + "/a.txt,", "-libfile=" + libfile + ",", "-default=y", "-output=" + tmp / "b.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("The value of -default= holds the option -output=: y -output=" +
                         ToLowerAscii(tmp / "b.txt") + ". Aborted. (Did you miss \",\"?)"),
              std::string::npos)
        << r.log;
    r = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "b.txt", "-libfile=" + libfile + ",", "-default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("The value of -output= holds the option -libfile=: "), std::string::npos) << r.log;
    r = Run({"-input=" + in + ",", "-include=*.txt", "-default=y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.log.find("The value of -include= holds the option -default=: *.txt -default=y. Aborted."),
              std::string::npos)
        << r.log;
    EXPECT_EQ(ReadFile(in + "/a.txt"), "cat 2024-01-02\n");
    for (const auto& e : fs::directory_iterator(tmp.path()))
        EXPECT_EQ(e.path().filename().string().rfind("b.txt", 0), std::string::npos) << e.path();
    // A key's text inside a path, with no blank before it, swallowed nothing.
    r = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "run-output=1/out.txt,",
             "-libfile=" + libfile + ",", "-default=y"});
    EXPECT_EQ(r.exitCode, 0) << r.log;
    EXPECT_EQ(ReadFile(tmp / "run-output=1/out.txt"), "cat 02.01.2024\n");
}

TEST_F(JobTest, SomeFilesFailedGivesExitCodeTwo) {
    WriteFile(in + "/bin.txt", std::string("cat\0", 4));
    JobRun r = Run({"-input=" + in + ",", "-output=" + tmp / "O2,", "-libfile=" + libfile + ",",
                    "-libind=1,", "-default=y"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.log.find("   bin.txt (binary)"), std::string::npos) << r.log;
    EXPECT_EQ(ReadFile(tmp / "O2/a.txt"), "dog 2024-01-02\n");
}

TEST_F(JobTest, AnOutputThatTheJobReadsOrTheWorkAreaKeepsIsRefused) {
    // Each named another way than the job or the work area names it.
    const std::string user = root + "/QVL-UserInfo/";
    const std::string libText = ReadFile(libfile);
    fs::create_directories(tmp / "links");
    fs::create_symlink(root + "/QVL-WorkFiles/Cmd-Area", tmp / "links/cmd");
    JobRun first = Run({"-input=" + in + "/a.txt,", "-output=" + tmp / "x.txt,",
                        "-libfile=" + libfile + ",", "-default=y"});
    ASSERT_EQ(first.exitCode, 0) << first.err;  // the work area now exists
    WriteFile(user + "SessionInfo/_qvl_master.txt", "master\n");
    const std::string log = ReadFile(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt");
    const std::vector<std::string> outputs = {
        tmp / "In/../lib.txt",                               // the job's own library file
        tmp / "links/cmd/cmd_log.txt",                       // the log, through a link
        user + "./SessionInfo/_qvl_master.txt",              // the master file
        user + "LibraryInfo/../LibraryInfo/_qvl_library.txt",  // not there yet
        user + "SessionInfo/Box_new.txt",                    // anything the user folder keeps
    };
    for (const std::string& out : outputs) {
        JobRun r = Run({"-input=" + in + "/a.txt,", "-output=" + out + ",",
                        "-libfile=" + libfile + ",", "-default=y"});
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_NE(r.log.find("is a file the job reads or the work area keeps"), std::string::npos)
            << r.log;
    }
    EXPECT_EQ(ReadFile(user + "SessionInfo/_qvl_master.txt"), "master\n");
    EXPECT_FALSE(fs::exists(user + "LibraryInfo/_qvl_library.txt"));
    EXPECT_FALSE(fs::exists(user + "SessionInfo/Box_new.txt"));
    EXPECT_EQ(ReadFile(root + "/QVL-WorkFiles/Cmd-Area/cmd_log.txt").compare(0, log.size(), log), 0);
    // A folder job converting in place the folder that holds its library file.
    JobRun r = Run({"-input=" + tmp.path() + ",", "-libfile=" + libfile + ",", "-include=lib.txt,",
                    "-default=y"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(ReadFile(libfile), libText);
}

TEST(JobArguments, KeysWithoutCasePathsWithCase) {
    EXPECT_EQ(GetArgumentValue("-INPUT=/Data/X, -output=/Y", "-input="), "/Data/X");
    EXPECT_EQ(GetArgumentValue("-input=/a -output=/b", "-output="), "");  // not an item start
    EXPECT_EQ(GetArgumentValue("-input=/a/x-libind=3,", "-libind="), "");
    EXPECT_EQ(GetArgumentValue("-cvt=fr", "-input="), "");
    EXPECT_EQ(MakeAbsolutePath("/abs"), "/abs");
}

TEST(JobLibraryFile, AnOldVersionIsLoggedNotAskedAndItsLibrariesAreSkipped) {
    TempDir tmp;
    std::string block = ReadFile(std::string(QVL_TEST_DATA) + "/convert/sample_library_block.txt");
    WriteFile(tmp / "old.txt", "~*~ Library option: Version=0.9.1, WorkMode=0, FR_LibIndex=0, \n" + block);
    WriteFile(tmp / "new.txt", "~*~ Library option: Version=1.0.735.0, WorkMode=1, FR_LibIndex=0, \r\n" + block);
    CLibraryList list;
    EXPECT_TRUE(LoadLibraryFileForJob(tmp / "old.txt", list));
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_TRUE(LoadLibraryFileForJob(tmp / "new.txt", list));
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_FALSE(LoadLibraryFileForJob(tmp / "none.txt", list));
    EXPECT_FALSE(LoadLibraryFileForJob(tmp.path(), list));  // a folder
}

TEST(JobFileList, OnlyTheLeadingInputFolderIsReplacedInOutputPaths) {
    TempDir tmp;
    const std::string in = fs::weakly_canonical(tmp / "In").string();
    const std::string out = fs::weakly_canonical(tmp / "Out").string();
    // The input folder's own path recurs below it.
    fs::create_directories(in + in);
    WriteFile(in + in + "/f.txt", "x");
    WriteFile(in + "/g.txt", "y");
    CCommandLineJob job;
    job.m_bDirectoryMode = true;
    job.m_strInputDir = in + "/.";  // compared in canonical form
    job.m_strOutputDir = tmp / "Out/";
    job.m_strInclude = "*.*";
    ASSERT_TRUE(BuildBatchFileList(job));
    const auto& recs = job.m_LibraryList.Previews;
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].InputName, in + "/g.txt");
    EXPECT_EQ(recs[0].OutputName, out + "/g.txt");
    EXPECT_EQ(recs[1].InputName, in + in + "/f.txt");
    EXPECT_EQ(recs[1].OutputName, out + in + "/f.txt");
    EXPECT_EQ(recs[1].Mode, "O");
    EXPECT_EQ(job.m_nFailedFiles, 0);
}

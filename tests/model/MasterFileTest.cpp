#include <filesystem>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "support/FileAccess.h"
#include "ModelFixture.h"

namespace fs = std::filesystem;

namespace {
std::string MasterPath() { return g_strSessionInfoDir + kMasterFileName; }

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}
}  // namespace

class MasterFileTest : public ModelTest {};

TEST_F(MasterFileTest, GoldenFileLoadsAndSavesByteForByte) {
    CopyDataFolder("master", g_strSessionInfoDir);
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_TRUE(prompter.entries.empty() || prompter.Messages().empty());

    // What was read.
    ASSERT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(data.GetProjectName(0), "Web, Mail");
    EXPECT_EQ(data.GetProjectName(1), ",");
    EXPECT_EQ(data.GetSessionCount(0), 2);
    EXPECT_EQ(data.GetSessionName(0, 1), "Beta, old");
    EXPECT_EQ(data.GetCurSession(), 1);
    EXPECT_TRUE(data.GetSessionPtr(0, 1)->IsLoaded);
    EXPECT_FALSE(data.GetSessionPtr(0, 0)->IsLoaded);
    EXPECT_EQ(data.GetFileItemCount(0, 1, 0), 2);
    EXPECT_EQ(data.GetFileItem(0, 1, 0, 1).FileName, "a, b.txt");
    EXPECT_EQ(data.GetBasketName(0, 1, 1), "Images, misc");
    EXPECT_EQ(g_strImportLibraryFile, "/home/u/in,lib.txt");
    EXPECT_EQ(g_nTabWidth, 4);
    EXPECT_EQ(g_nOptionSel, 201);
    EXPECT_FALSE(data.m_SessionReport.ReportDump);
    ASSERT_EQ(data.GetClusterCount(), 2);
    EXPECT_EQ(data.GetClusterName(1), ",");
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 1);
    EXPECT_EQ(data.GetHost(0, 0).m_strPassword, "sec,ret");
    EXPECT_EQ(data.GetHost(0, 0).m_Bookmarks.size(), 2u);
    EXPECT_EQ(data.m_SessionReport.Columns.size(), 2u);

    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_EQ(ReadFile(MasterPath()), ReadFile(Data("master/_qvl_master.txt")));
    EXPECT_EQ(ReadFile(g_strSessionInfoDir + "Box01-Ses02-Betaold.txt"),
              ReadFile(Data("master/Box01-Ses02-Betaold.txt")));
    EXPECT_EQ(ModeOf(MasterPath()), 0600u);

    // Saving twice without changes gives identical files.
    const std::string first = ReadFile(MasterPath());
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_EQ(ReadFile(MasterPath()), first);
}

TEST_F(MasterFileTest, CrLfFileReadsLikeLf) {
    std::string text = ReadFile(Data("master/_qvl_master.txt"));
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    WriteFile(MasterPath(), crlf);
    CProgramData data;
    data.LoadMasterFileFrom(MasterPath());
    EXPECT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(data.GetClusterCount(), 2);
    EXPECT_EQ(data.GetHost(0, 1).m_strHost, "vms1");
}

TEST_F(MasterFileTest, EmptyWorkAreaLoadsTheDefaults) {
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(data.GetProjectCount(), 1);
    EXPECT_EQ(data.GetProjectName(0), "My Project");
    EXPECT_EQ(data.GetSessionName(0, 0), "My Session");
    EXPECT_EQ(data.GetBasketName(0, 0, 0), "My Basket");
    EXPECT_EQ(data.GetClusterName(0), "My Cluster");
    EXPECT_TRUE(data.GetSessionPtr(0, 0)->IsLoaded);
    EXPECT_EQ(data.GetBoxFileName(0, 0), "Box01-Ses01-MySession.txt");
    EXPECT_EQ(data.m_SessionReport.Columns.size(), 7u);
    EXPECT_TRUE(prompter.entries.empty());
    // The next save writes the default session out.
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_TRUE(fs::exists(g_strSessionInfoDir + "Box01-Ses01-MySession.txt"));
}

TEST_F(MasterFileTest, OptionsLineStartValuesAndKeyOrder) {
    CProgramData data;
    data.m_SessionReport.SetDefaultColumns();
    const std::string line = data.FormatProgramOptions();
    EXPECT_EQ(line,
              "Program Option: Version=1.0.735.0, SingleClick=No, AutoUpdate=Yes, AutoUpBasket=Yes, "
              "AutoUpdateInc=1, TurnOff=1000, OptionSel=0, FTPUpdate=Yes, ReportCopy=Yes, "
              "ReportDump=Yes, ReportUseLocalDir=Yes, ReportCompFiles=Yes, ReportDumpDiffs=Yes, "
              "DiffLinear=Yes, DiffIgnoreCase=No, DiffIgnoreIdent=No, DiffReportInter=No, "
              "Editor=, Telnet=cmd (Windows built-in Telnet), ImportQVFile=, "
              "ExportQVFile=, Sound=No, Trace=No, CloseLibrary=No, CloseWorkPad=No, "
              "AutoBasketCreate=Yes, UseBinExt=Yes, "
              "BinExtStr=.bmp .class .doc .exe .gif .jpeg .jpg .pdf .ppt .zip, "
              "TxtOpnStr=.log .txt .com .bat .c .cpp .cxx .h .hpp .hxx .java, TabWidth=8, "
              "BookmarkRecord=Yes, SortAscend=Yes, SortMatchCase=Yes, SortRemDuplicity=No, "
              "WrapXmlTag=No, ");
}

TEST_F(MasterFileTest, OptionsReadingRules) {
    CProgramData data;
    // Missing keys: "Yes"-tested flags go off, "No"-tested ones on, numbers fall back.
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, "));
    EXPECT_FALSE(g_bAutoUpdate);
    EXPECT_FALSE(g_bSortAscend);
    EXPECT_TRUE(g_bDiffIgnoreCase);
    EXPECT_TRUE(data.m_SessionReport.ReportDump);
    EXPECT_EQ(g_nAutoUpdateInc, 2);
    EXPECT_EQ(g_nTurnOff, 1000);
    EXPECT_EQ(g_nTabWidth, 8);
    EXPECT_EQ(g_strEditor, "");
    EXPECT_EQ(g_strTelnet, "cmd (Windows built-in Telnet)");
    EXPECT_EQ(g_strBinExtStr, g_strBinExtDefault);
    EXPECT_EQ(g_strTxtOpnStr, g_strTxtOpnDefault);

    ASSERT_TRUE(data.ReadProgramOptions(
        "Program Option: SingleClick=yes, ReportDump=no, DiffIgnoreCase=No, TurnOff=0, "
        "AutoUpdateInc=700, OptionSel=-3, TabWidth=, AutoUpdate=Yes, "));
    EXPECT_FALSE(g_bSingleClick);               // only exactly "Yes"
    EXPECT_TRUE(data.m_SessionReport.ReportDump);  // only exactly "No" turns it off
    EXPECT_FALSE(g_bDiffIgnoreCase);
    EXPECT_EQ(g_nTurnOff, 1000);
    EXPECT_EQ(g_nAutoUpdateInc, 700);
    EXPECT_EQ(g_nOptionSel, -3);
    EXPECT_EQ(g_nTabWidth, 8);
    EXPECT_TRUE(g_bAutoUpdate);  // not confused with "AutoUpdateInc="

    // A key inside another value is no key.
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, Editor=vi Trace=Yes, Trace=No, "));
    EXPECT_FALSE(g_bTrace);
    EXPECT_EQ(g_strEditor, "vi Trace=Yes");
}

// Every name a user types is written by the program's writers and read
// back by its start: whatever it holds, nothing before or after it is lost
// and no file is taken for damaged. The texts are those that the stored
// files' readers look for (the section markers of every stored file as the
// writers write them, keys), the value codes, commas, blanks, non-ASCII and
// line breaks. A name typed in a one-line field (project, session, basket,
// cluster) refuses a line break; every other text keeps it.
TEST_F(MasterFileTest, EveryTypedNameRoundTripsWhateverItHolds) {
    const std::vector<std::string> texts = {
        // The master data file.
        "Program Option: Version=0.1", "Program Option: ", "Session Box: Sess=x, SessInd=0, ",
        "Session ID: 9", "End of Session ID: oops", "End of Session ID: ", "Session State: ProjInd=3, ",
        "Remote Cluster Names: Cluster=c, HostInd=0, ", "Remote dir Bookmark: 0",
        "End of remote dir Bookmark: 0", "Report specs from user:", "End of report specs from user:2",
        // The session work files.
        "File-Basket info: ", "End of file-basket info: x", "End of Session ID: x.txt",
        // The library file.
        "~*~ Library option: Version=0.1, WorkMode=1, ", "~*~ (1.2)+ Wild find and replace libraries: ",
        "~*~ (1.2)- End of wild find and replace libraries: ", "~X~ Wild find rep macro list: ",
        "~o~ End of wild find rep macro list: 3", "~X~ Wild and type manager info: ",
        "~o~ End of wild and type manager info: ", "~X~ Type card vector info: ",
        "~o~ End of type card vector info: ", "~X~ Macro-token delim list: ",
        "~o~ End of macro-token delim list: 10",
        // Two markers, a marker cut in two, a colon of no marker.
        "Session ID: 1 End of file-basket info: ", "Session ID:Session ID:", "C:\\dir: a: b",
        // Keys of the lines the names stand in.
        "SessInd=5", "x, SessInd=2, Sess=y, ", "FileType=remote, BasketInd=1, ", "BasketName=b, BasketSel=0#, ",
        "Cluster=c, HostInd=3, ", "GoodReside=h, ActiveName=u, ", "RemName=r, RemDir=/d/, ",
        "LibName=l, NothingYetInt=2, ", "IsActive=No, IsMatchCase=No, ", "Version=0.1",
        // The codes themselves, commas, blanks, non-ASCII.
        "[<]my_comma[>]", "[<]my_colon[>]", "[<]my_bracket[>]", "[<]", "a[<]b[>]c", "[[<]]", ",", "a, b",
        ",,", " lead", "trail ", "  both  ", " ", "Gr\u00fc\u00dfe \u2713 \u65e5\u672c", "\xff\xfe\x80 raw",
        // Line breaks, and the codes they might be taken for.
        "a\nb", "a\r\nb", "a\rb", "\n", "\r", "\r\n\r\n", "end\n", "x, y\nIsSkipped=Yes, EndDelim=z,",
        "[<]my_lf[>]", "[<]my_cr[>]\n",
        // A name longer than a file system takes for a file's name.
        std::string(1000, 'L'),
    };
    const std::string libPath = g_strLibraryInfoDir + kLibraryFileName;
    for (const std::string& t : texts) {
        SCOPED_TRACE("name: \"" + t + "\"");
        std::filesystem::remove_all(g_strSessionInfoDir);
        std::filesystem::remove_all(g_strLibraryInfoDir);
        CreateFolderPath(g_strSessionInfoDir, 0700);
        CreateFolderPath(g_strLibraryInfoDir, 0700);
        trace.lines.clear();
        prompter.entries.clear();
        ResetProgramOptions();
        g_strEditor = t;

        // Each kind of name holds the text, and a second one comes after it.
        const bool oneLine = t.find_first_of("\r\n") == std::string::npos;
        const std::string name = oneLine ? t : "one line";
        CProgramData data;
        data.EnsureCurrentBasket();
        EXPECT_EQ(data.SetProjectName(0, t), oneLine);
        ASSERT_TRUE(data.SetProjectName(0, name));
        ASSERT_TRUE(data.InsertProject("after", 1));
        EXPECT_EQ(data.SetSessionName(0, 0, t), oneLine);
        ASSERT_TRUE(data.SetSessionName(0, 0, name));
        ASSERT_TRUE(data.InsertSession("after", 0, 1));
        ASSERT_TRUE(data.InsertSession("after", 1, 0));
        for (auto [p, s] : {std::pair{0, 1}, std::pair{1, 0}}) {
            data.GetSessionPtr(p, s)->IsLoaded = true;
            data.GetSessionPtr(p, s)->m_Baskets.emplace_back("after");
            ASSERT_TRUE(data.InsertFileItems(p, s, 0, -1, CFileItem("after")));
        }
        EXPECT_EQ(data.SetBasketName(0, 0, 0, t), oneLine);
        ASSERT_TRUE(data.SetBasketName(0, 0, 0, name));
        ASSERT_TRUE(data.InsertBasket("after", 0, 0, 1));
        CFileItem item(t);
        item.LocalDir = "/home/u/" + t + "/";
        item.RemoteDir = "/srv/" + t + "/";
        ASSERT_TRUE(data.InsertFileItems(0, 0, 0, -1, item));
        ASSERT_TRUE(data.InsertFileItems(0, 0, 0, -1, CFileItem("after")));
        ASSERT_TRUE(data.InsertFileItems(0, 0, 1, -1, CFileItem("after")));
        data.SetSelection(0, 0, 0, {1});
        data.GetSessionPtr(0, 0)->BasketInd = 1;
        data.AddCluster(t, 0);
        EXPECT_EQ(data.GetClusterCount(), oneLine ? 1 : 0);
        if (!oneLine) data.AddCluster(name, 0);
        data.AddCluster("after", 1);
        data.AddHost("host1", t, "pw1", 0, 0);
        data.AddHost(t, "user2", "pw2", 0, 1);
        data.AddHost("host3", "after", "pw3", 1, 0);
        data.GetHostPtr(0, 0)->m_Bookmarks = {{t, t, ""}, {"after", "/after/", ""}};
        data.m_LibraryList.InsertLibrary(0, t);
        data.m_LibraryList.InsertLibrary(1, "after");
        data.m_LibraryList[0].MacroList = {CMacro(t, t), CMacro("after", "after")};
        data.m_LibraryList[1].MacroList = {CMacro(t + "\r\n" + t, "after")};
        auto& cards = data.m_LibraryList[0].WildTypeManager.TypeCards;
        ASSERT_GE(cards.size(), 2u);
        cards[0].TypeComment = t;
        cards[0].IsSkipped = 1;
        cards[1].TypeComment = "after";
        data.m_LibraryList[0].DelimList = {{1, t, t}, {0, "after", t}, {0, "<<", "after"}};
        data.m_SessionReport.SetDefaultColumns();  // as a start leaves them
        ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
        ASSERT_TRUE(data.SaveLibraryFile(libPath));

        // The next start.
        g_strEditor.clear();
        CProgramData back;
        back.LoadMasterFile();
        back.LoadLibraryFile(libPath, false);
        EXPECT_EQ(g_strEditor, t);
        ASSERT_EQ(back.GetProjectCount(), 2);
        EXPECT_EQ(back.GetProjectName(0), name);
        EXPECT_EQ(back.GetProjectName(1), "after");
        ASSERT_EQ(back.GetSessionCount(0), 2);
        ASSERT_EQ(back.GetSessionCount(1), 1);
        EXPECT_EQ(back.GetSessionName(0, 0), name);
        EXPECT_EQ(back.GetSessionName(0, 1), "after");
        EXPECT_EQ(back.GetSessionName(1, 0), "after");
        for (auto [p, s] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}})
            if (!back.GetSessionPtr(p, s)->IsLoaded) EXPECT_EQ(back.LoadSessionFile(p, s), 1);
        ASSERT_EQ(back.GetBasketCount(0, 0), 2);
        EXPECT_EQ(back.GetBasketName(0, 0, 0), name);
        EXPECT_EQ(back.GetBasketName(0, 0, 1), "after");
        EXPECT_EQ(back.GetSessionPtr(0, 0)->BasketInd, 1);
        EXPECT_EQ(back.GetBasketFileNames(0, 0, 0), (std::vector<std::string>{t, "after"}));
        EXPECT_EQ(back.GetFileItem(0, 0, 0, 0).LocalDir, item.LocalDir);
        EXPECT_EQ(back.GetFileItem(0, 0, 0, 0).RemoteDir, item.RemoteDir);
        EXPECT_EQ(back.GetBasketFileNames(0, 0, 1), (std::vector<std::string>{"after"}));
        EXPECT_EQ(back.GetSelection(0, 0, 0), (std::vector<int>{1}));
        EXPECT_EQ(back.GetBasketFileNames(0, 1, 0), (std::vector<std::string>{"after"}));
        EXPECT_EQ(back.GetBasketFileNames(1, 0, 0), (std::vector<std::string>{"after"}));
        ASSERT_EQ(back.GetClusterCount(), 2);
        EXPECT_EQ(back.GetClusterName(0), name);
        EXPECT_EQ(back.GetClusterName(1), "after");
        ASSERT_EQ(back.GetHostCount(0), 2);
        ASSERT_EQ(back.GetHostCount(1), 1);
        EXPECT_EQ(back.GetHostPtr(0, 0)->m_strUser, t);
        EXPECT_EQ(back.GetHostPtr(0, 0)->m_strPassword, "pw1");
        EXPECT_EQ(back.GetHostPtr(0, 1)->m_strHost, ToLowerAscii(t));  // host names are kept in lower case
        EXPECT_EQ(back.GetHostPtr(0, 1)->m_strPassword, "pw2");
        EXPECT_EQ(back.GetHostPtr(1, 0)->m_strUser, "after");
        EXPECT_EQ(back.GetHostPtr(1, 0)->m_strPassword, "pw3");
        const auto& marks = back.GetHostPtr(0, 0)->m_Bookmarks;
        ASSERT_EQ(marks.size(), 2u);
        EXPECT_EQ(marks[0].RemName, t);
        EXPECT_EQ(marks[0].RemDir, t);
        EXPECT_EQ(marks[1].RemName, "after");
        ASSERT_EQ(back.GetLibraryCount(), 2);
        EXPECT_EQ(back.m_LibraryList.GetLibName(0), t);
        EXPECT_EQ(back.m_LibraryList.GetLibName(1), "after");
        ASSERT_EQ(back.m_LibraryList[0].MacroList.size(), 2u);
        // A lone LF of a macro text reads back as CR LF, as it always has.
        auto crlf = [](const std::string& text) {
            std::string out;
            for (char c : text) {
                if (c == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
                out += c;
            }
            return out;
        };
        EXPECT_EQ(back.m_LibraryList[0].MacroList[0].Find, crlf(t));
        EXPECT_EQ(back.m_LibraryList[0].MacroList[0].Replace, crlf(t));
        EXPECT_EQ(back.m_LibraryList[0].MacroList[1].Find, "after");
        ASSERT_EQ(back.m_LibraryList[1].MacroList.size(), 1u);
        EXPECT_EQ(back.m_LibraryList[1].MacroList[0].Find, crlf(t + "\r\n" + t));
        const auto& cardsBack = back.m_LibraryList[0].WildTypeManager.TypeCards;
        ASSERT_EQ(cardsBack.size(), cards.size());
        EXPECT_EQ(cardsBack[0].TypeComment, t);
        EXPECT_EQ(cardsBack[0].IsSkipped, 1);
        EXPECT_EQ(cardsBack[1].TypeComment, "after");
        const auto& delims = back.m_LibraryList[0].DelimList;
        ASSERT_EQ(delims.size(), 3u);
        EXPECT_EQ(delims[0].IsSingle, 1);
        EXPECT_EQ(delims[0].BeginDelim, t);
        EXPECT_EQ(delims[0].EndDelim, t);
        EXPECT_EQ(delims[1].BeginDelim, "after");
        EXPECT_EQ(delims[1].EndDelim, t);
        EXPECT_EQ(delims[2].EndDelim, "after");
        // Whole files: no backup, no warning; and the next save writes the same bytes.
        EXPECT_FALSE(trace.Has("not read whole")) << trace.All();
        EXPECT_FALSE(trace.Has("Skipped")) << trace.All();
        EXPECT_TRUE(prompter.Messages().empty());
        for (const auto& e : std::filesystem::directory_iterator(g_strSessionInfoDir))
            EXPECT_EQ(e.path().string().find(".bak"), std::string::npos) << e.path();
        EXPECT_FALSE(std::filesystem::exists(libPath + ".bak"));
        const std::string master = ReadFile(MasterPath()), library = ReadFile(libPath);
        ASSERT_TRUE(back.SaveMasterFile(MasterPath()));
        ASSERT_TRUE(back.SaveLibraryFile(libPath));
        EXPECT_EQ(ReadFile(MasterPath()), master);
        EXPECT_EQ(ReadFile(libPath), library);
    }
}

TEST_F(MasterFileTest, CommaInsideValuesSurvivesAndOldFilesStayReadable) {
    g_strEditor = "ed,it";
    CProgramData data;
    data.EnsureCurrentBasket();
    data.SetProjectName(0, ",");
    data.SetSessionName(0, 0, "a, b");
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    const std::string text = ReadFile(MasterPath());
    EXPECT_NE(text.find("Sess=[<]my_comma[>], "), std::string::npos);
    EXPECT_NE(text.find("Editor=ed[<]my_comma[>]it, "), std::string::npos);
    g_strEditor.clear();
    CProgramData back;
    back.LoadMasterFile();
    EXPECT_EQ(back.GetProjectName(0), ",");
    EXPECT_EQ(back.GetSessionName(0, 0), "a, b");
    EXPECT_EQ(g_strEditor, "ed,it");

    // A value the older writer stored with a bare comma reads cut, as before.
    CProgramData old;
    old.ReadSessionBoxes("Session Box: Sess=Web, Mail, SessInd=0, ");
    ASSERT_EQ(old.GetProjectCount(), 1);
    EXPECT_EQ(old.GetProjectName(0), "Web");
}

TEST_F(MasterFileTest, VersionPromptNoEndsTheProgramWithNothingSaved) {
    const std::string oldFile = "Program Option: Version=0.9.9, TabWidth=3, \nSession Box: Sess=Old, SessInd=0, \n";
    WriteFile(MasterPath(), oldFile);
    prompter.answers = {Answer::No};
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_NE(prompter.Questions()[0].find("Continue anyway?"), std::string::npos);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_TRUE(data.IsExitRequested());
    EXPECT_FALSE(data.SaveMasterFile(MasterPath()));
    EXPECT_FALSE(data.SaveLibraryFile(g_strLibraryInfoDir + kLibraryFileName));
    EXPECT_EQ(ReadFile(MasterPath()), oldFile);
    EXPECT_FALSE(fs::exists(g_strLibraryInfoDir + kLibraryFileName));
}

TEST_F(MasterFileTest, VersionPromptYesKeepsTheOldFileAndStartsWithDefaults) {
    const std::string old = "Program Option: Version=0.5, TabWidth=3, \nSession Box: Sess=Old, SessInd=0, \n";
    WriteFile(MasterPath(), old);
    prompter.answers = {Answer::Yes};
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_TRUE(exitCodes.empty());
    // The old project is not read; the default project, session and basket are there.
    ASSERT_EQ(data.GetProjectCount(), 1);
    EXPECT_NE(data.GetProjectName(0), "Old");
    EXPECT_EQ(data.GetSessionCount(0), 1);
    EXPECT_EQ(data.GetClusterCount(), 1);
    EXPECT_TRUE(data.m_SessionReport.HasColumns());
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), old);
    EXPECT_EQ(g_nTabWidth, 8);
    // Newer, equal and missing versions pass without a question.
    for (const char* v : {"Version=2.0, ", "Version=1.0.0.0, ", ""}) {
        WriteFile(MasterPath(), std::string("Program Option: ") + v + "\n");
        CProgramData d;
        d.LoadMasterFile();
    }
    EXPECT_EQ(prompter.Questions().size(), 1u);
}

TEST_F(MasterFileTest, VersionComparison) {
    EXPECT_EQ(CompareVersionStrings("0.9.9", "1.0.0.0"), 0);
    EXPECT_EQ(CompareVersionStrings("2.0", "1.0.0.0"), 1);
    EXPECT_EQ(CompareVersionStrings("1.0", "1.0.735.0"), -1);
    EXPECT_EQ(CompareVersionStrings("", "1.0.0.0"), -1);
    EXPECT_EQ(CompareVersionStrings("x.1", "0.0"), 1);
}

TEST_F(MasterFileTest, SessionSectionsRules) {
    CProgramData data;
    data.ReadSessionBoxes("Session Box: Sess=A, Sess=B, SessInd=3, ");
    ASSERT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(data.m_ProjectList.m_Projects[0].m_nSessInd, 3);
    EXPECT_EQ(data.m_ProjectList.m_Projects[1].m_nSessInd, 0);

    // An empty project name does not end the list.
    CProgramData d2;
    d2.ReadSessionBoxes("Session Box: Sess=A, SessInd=0, Sess=, SessInd=0, Sess=C, SessInd=0, ");
    ASSERT_EQ(d2.GetProjectCount(), 3);
    EXPECT_EQ(d2.GetProjectName(1), "");
    EXPECT_EQ(d2.GetProjectName(2), "C");

    // A block is placed by its "SessionBox=", whatever its position.
    std::istringstream block(
        "SessionName=S, Host=h, User=u, RemoteDir=/r/, LocalDir=/l/, SessionBox=1, BasketInd=0, \n"
        "Box02-Ses01-S.txt\nEnd of Session ID: 0\n");
    data.ReadSessionBlock(block);
    EXPECT_EQ(data.GetSessionCount(0), 0);
    EXPECT_EQ(data.GetSessionCount(1), 1);

    data.ReadSessionState("xx Session State: ProjInd=-4, ");
    EXPECT_EQ(data.GetCurProject(), 0);
    data.ReadSessionState("junk Session State: ProjInd=2, ");
    EXPECT_EQ(data.GetCurProject(), 2);
}

TEST_F(MasterFileTest, IndicesFromTheFileAreRepaired) {
    WriteFile(MasterPath(),
              "Program Option: Version=1.0.735.0, \n"
              "Session Box: Sess=P, SessInd=9, \n"
              "Session ID: 0\n"
              "SessionName=S, Host=, User=, RemoteDir=, LocalDir=/l/, SessionBox=0, BasketInd=5, \n"
              "Box01-Ses01-S.txt\nEnd of Session ID: 0\n"
              "Session ID: 1\n"
              "SessionName=Lost, Host=, User=, RemoteDir=, LocalDir=/l/, SessionBox=7, BasketInd=0, \n"
              "Box08-Ses01-Lost.txt\nEnd of Session ID: 1\n"
              "Session ID: 2\n"
              "SessionName=Evil, Host=, User=, RemoteDir=, LocalDir=/l/, SessionBox=0, BasketInd=0, \n"
              "../../etc/passwd\nEnd of Session ID: 2\n"
              "Session State: ProjInd=3, \n"
              "Remote Cluster Names: Cluster=C, HostInd=4, CurrClustInd=6, CurrrHostInd=2, \n"
              "Remote dir Bookmark: 0\n"
              "GoodReside=HOST, ResideType=UNIX, ActiveName=u, LastReside=/, AcctStatus=0, ClusterInd=5, BinaryFormat=, \n"
              "End of remote dir Bookmark: 0\n");
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(data.GetCurProject(), 0);
    EXPECT_EQ(data.GetCurSession(), 0);
    ASSERT_EQ(data.GetSessionCount(0), 2);     // the block naming project 7 is skipped
    EXPECT_TRUE(trace.Has("names no project"));
    EXPECT_EQ(data.GetSessionPtr(0, 0)->BasketInd, 0);
    // The refused work-file name is replaced by a fresh one in the session folder.
    EXPECT_EQ(data.GetBoxFileName(0, 1).find('/'), std::string::npos);
    EXPECT_EQ(data.GetBoxFileName(0, 1).rfind("Box01-Ses02-Evil", 0), 0u);
    EXPECT_TRUE(trace.Has("Work-file name refused"));
    EXPECT_EQ(data.m_Vault.m_nCurrClustInd, 0);
    ASSERT_EQ(data.GetHostCount(0), 1);
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 0);
    EXPECT_EQ(data.GetHost(0, 0).m_strHost, "host");
    EXPECT_EQ(data.GetHost(0, 0).m_nStatus, 2);
    EXPECT_EQ(data.GetHost(0, 0).m_nClusterInd, 0);
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
}

TEST_F(MasterFileTest, AccountSectionRules) {
    CProgramData data;
    data.ReadClusterNames("Remote Cluster Names: Cluster=Lab, HostInd=1, Cluster=[<]my_comma[>], HostInd=0, "
                          "CurrClustInd=1, CurrrHostInd=0, ");
    ASSERT_EQ(data.GetClusterCount(), 2);
    EXPECT_EQ(data.GetClusterName(1), ",");
    EXPECT_EQ(data.m_Vault.m_Clusters[0].m_nHostInd, 1);
    EXPECT_EQ(data.m_Vault.m_nCurrClustInd, 1);

    // An empty cluster name does not end the list.
    CProgramData d1;
    d1.ReadClusterNames("Remote Cluster Names: Cluster=, HostInd=0, Cluster=B, HostInd=0, CurrClustInd=1, CurrrHostInd=0, ");
    ASSERT_EQ(d1.GetClusterCount(), 2);
    EXPECT_EQ(d1.GetClusterName(1), "B");

    // Accounts without a cluster line land in a new "My Cluster".
    CProgramData d2;
    std::istringstream acc("GoodReside=Alpha, ActiveName=bob, AcctStatus=7, ClusterInd=0, BinaryFormat=" +
                           EncodePassword("pw") + ", \n\nEnd of remote dir Bookmark: 0\n");
    d2.ReadBookmarks(acc);
    ASSERT_EQ(d2.GetClusterCount(), 1);
    EXPECT_EQ(d2.GetClusterName(0), "My Cluster");
    const CHost h = d2.GetHost(0, 0);
    EXPECT_EQ(h.m_strHost, "alpha");
    EXPECT_EQ(h.m_strPassword, "pw");
    ASSERT_EQ(h.m_Bookmarks.size(), 1u);  // the empty line is an empty bookmark
    EXPECT_EQ(h.m_Bookmarks[0].RemName, "");
    // Status 7 is written as 4, 3 as 2.
    d2.GetHostPtr(0, 0)->m_nStatus = 3;
    EXPECT_NE(d2.FormatMasterFile().find("AcctStatus=2, "), std::string::npos);
    d2.GetHostPtr(0, 0)->m_nStatus = 7;
    EXPECT_NE(d2.FormatMasterFile().find("AcctStatus=4, "), std::string::npos);
    // The password never stands in the file as typed.
    d2.GetHostPtr(0, 0)->m_strPassword = "Secret,1";
    EXPECT_EQ(d2.FormatMasterFile().find("Secret"), std::string::npos);
}

TEST_F(MasterFileTest, LastLineWithoutLineBreakIsRead) {
    WriteFile(MasterPath(), "Program Option: Version=1.0.735.0, \nSession Box: Sess=A, SessInd=0, Sess=B, "
                            "SessInd=0, Sess=C, SessInd=0, Sess=D, SessInd=0, \nSession State: ProjInd=3, ");
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(data.GetCurProject(), 3);
}

TEST_F(MasterFileTest, UnreadableFileIsKeptAsBakAndTheUserWarned) {
    ScopedFilePermissionsApply asUser;
    if (!asUser.ok()) GTEST_SKIP() << "cannot drop the file-access capabilities";
    const std::string good = ReadFile(Data("master/_qvl_master.txt"));
    WriteFile(MasterPath(), good);
    ::chmod(MasterPath().c_str(), 0);
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find(".bak"), std::string::npos);
    ::chmod(MasterPath().c_str(), 0600);
    EXPECT_TRUE(fs::exists(MasterPath() + ".bak"));
}

TEST_F(MasterFileTest, FolderInPlaceOfTheFileIsMovedAsideBeforeASave) {
    CreateFolderPath(MasterPath() + "/inner");
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find("_qvl_master.txt.bak"), std::string::npos);
    EXPECT_EQ(ModeOf(MasterPath() + ".bak"), 0700u);  // its contents stay reachable
    EXPECT_TRUE(fs::is_directory(MasterPath() + ".bak/inner"));
    EXPECT_TRUE(data.SaveMasterFile(MasterPath()));
}

TEST_F(MasterFileTest, RandomBytesAreKeptAsBakAndDefaultsLoad) {
    std::mt19937 rng(7);
    std::string junk;
    for (int i = 0; i < 20000; ++i) junk += static_cast<char>(rng() & 0xff);
    WriteFile(MasterPath(), junk);
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(data.GetProjectName(0), "My Project");
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), junk);
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), junk);
}

TEST_F(MasterFileTest, GarbageHugeAndTruncatedLinesLoseNoGoodData) {
    std::string text = ReadFile(Data("master/_qvl_master.txt"));
    // Garbage and a 1 MB line between sections, and the file cut inside the
    // report section.
    size_t at = text.find("Session State:");
    text.insert(at, "garbage \x01\x02 line\n" + std::string(1 << 20, 'x') + "\n");
    text.resize(text.find("GutterVal=2"));
    WriteFile(MasterPath(), text);
    WriteFile(g_strSessionInfoDir + "Box01-Ses02-Betaold.txt", ReadFile(Data("master/Box01-Ses02-Betaold.txt")));
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(data.GetSessionCount(0), 2);
    EXPECT_EQ(data.GetCurProject(), 0);
    EXPECT_EQ(data.GetHostCount(0), 2);
    EXPECT_EQ(data.GetFileItemCount(0, 1, 0), 2);
    EXPECT_EQ(data.m_SessionReport.Columns.size(), 1u);
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(MasterFileTest, FailedSaveIsReportedAndKeepsTheOldFile) {
    WriteFile(MasterPath(), "old");
    CProgramData data;
    data.EnsureCurrentBasket();
    EXPECT_FALSE(data.SaveMasterFile(g_strSessionInfoDir + "no-such-folder/_qvl_master.txt"));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_NE(prompter.Messages().back().find("Failed to save the master data file"), std::string::npos);
    EXPECT_EQ(ReadFile(MasterPath()), "old");
}

TEST_F(MasterFileTest, SaveEmptiesTheLoadingTempFolderButNotTheParkedRenames) {
    CreateFolderPath(g_strLoadingTempDir + "sub/deeper");
    CreateFolderPath(g_strLoadingTempDir + "delme/home/u");
    WriteFile(g_strLoadingTempDir + "a.txt", "a");
    WriteFile(g_strLoadingTempDir + "sub/deeper/b.txt", "b");
    WriteFile(g_strLoadingTempDir + "delme/home/u/parked.txt", "only copy");
    CProgramData data;
    data.EnsureCurrentBasket();
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_FALSE(fs::exists(g_strLoadingTempDir + "a.txt"));
    EXPECT_FALSE(fs::exists(g_strLoadingTempDir + "sub/deeper/b.txt"));
    EXPECT_EQ(ReadFile(g_strLoadingTempDir + "delme/home/u/parked.txt"), "only copy");
}

TEST_F(MasterFileTest, DumpSessionUnloadsOnlyAfterASuccessfulWrite) {
    CProgramData data;
    data.EnsureCurrentBasket();
    data.SetSessionLoaded(0, 0, true);
    data.InsertFileItems(0, 0, 0, -1, CFileItem("x.c"));
    ASSERT_EQ(data.DumpSession(0, 0), 1);
    EXPECT_FALSE(data.GetSessionPtr(0, 0)->IsLoaded);
    EXPECT_TRUE(trace.Has("-Dumped: "));
    EXPECT_EQ(data.DumpSession(0, 0), -1);
    EXPECT_EQ(data.LoadSessionFile(0, 0), 1);
    EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).FileName, "x.c");
    EXPECT_EQ(data.LoadSessionFile(0, 0), -1);
    EXPECT_EQ(data.LoadSessionFile(0, 5), 0);

    // The work file cannot be written: the items stay in memory.
    g_strSessionInfoDir = tmp.dir() + "missing-folder/";
    EXPECT_EQ(data.DumpSession(0, 0), 0);
    EXPECT_TRUE(data.GetSessionPtr(0, 0)->IsLoaded);
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 1);
    EXPECT_FALSE(prompter.Messages().empty());
}

TEST_F(MasterFileTest, EnsureDefaults) {
    CProgramData data;
    EXPECT_EQ(data.EnsureCurrentBasket(), 3);
    EXPECT_EQ(data.EnsureCurrentBasket(), 0);
    data.DeleteAllBaskets(0, 0);
    EXPECT_EQ(data.EnsureCurrentBasket(), 1);
    data.DeleteSession(0, 0);
    EXPECT_EQ(data.EnsureCurrentBasket(), 2);
    CProgramData d2;
    EXPECT_EQ(d2.CreateDefaultProject(), 6);
    EXPECT_EQ(d2.CreateDefaultProject(), 0);
    EXPECT_EQ(d2.CreateDefaultSession(), 5);
    EXPECT_EQ(d2.CreateDefaultSession(), 0);
    CProgramData d3;
    EXPECT_EQ(d3.CreateDefaultSession(), 4);
    EXPECT_TRUE(d3.EnsureDefaultCluster());
    EXPECT_FALSE(d3.EnsureDefaultCluster());
}

// Regression: a session the defaults create has no work file yet; the items
// put into it must reach disk at the next save, not vanish with a restart.
TEST_F(MasterFileTest, ASessionMadeByTheDefaultsKeepsItsItemsOverARestart) {
    {
        CProgramData data;
        data.LoadMasterFile();  // empty work area: project, session and basket made
        data.DeleteSession(0, 0);
        ASSERT_EQ(data.EnsureCurrentBasket(), 2);
        EXPECT_TRUE(data.GetSessionPtr(0, 0)->IsLoaded);
        ASSERT_TRUE(data.InsertFileItems(0, 0, 0, -1, CFileItem("kept.c")));
        ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    }
    {
        CProgramData data;
        data.LoadMasterFile();
        ASSERT_EQ(data.GetFileItemCount(0, 0, 0), 1);
        EXPECT_EQ(data.GetFileItem(0, 0, 0, 0).FileName, "kept.c");
        data.DeleteProject(0);
        ASSERT_EQ(data.CreateDefaultSession(), 4);
        EXPECT_TRUE(data.GetSessionPtr(0, 0)->IsLoaded);
        ASSERT_TRUE(data.InsertBasket("B2", 0, 0, 0));
        ASSERT_TRUE(data.InsertFileItems(0, 0, 0, -1, CFileItem("second.c")));
        ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    }
    CProgramData again;
    again.LoadMasterFile();
    ASSERT_EQ(again.GetBasketCount(0, 0), 1);
    EXPECT_EQ(again.GetBasketName(0, 0, 0), "B2");
    ASSERT_EQ(again.GetFileItemCount(0, 0, 0), 1);
    EXPECT_EQ(again.GetFileItem(0, 0, 0, 0).FileName, "second.c");
    EXPECT_TRUE(prompter.Messages().empty());
}

// Regression: the current session is marked loaded at start even when its
// work file could not be read, and the next save wrote it over with an empty
// session.
TEST_F(MasterFileTest, UnreadableWorkFileOfTheCurrentSessionIsKeptAsBak) {
    ScopedFilePermissionsApply asUser;
    if (!asUser.ok()) GTEST_SKIP() << "cannot drop the file-access capabilities";
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string work = g_strSessionInfoDir + "Box01-Ses02-Betaold.txt";
    const std::string good = ReadFile(work);
    ::chmod(work.c_str(), 0);
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_NE(prompter.Messages()[0].find(work + ".bak"), std::string::npos);
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    ::chmod(work.c_str(), 0600);
    ::chmod((work + ".bak").c_str(), 0600);
    EXPECT_EQ(ReadFile(work + ".bak"), good);
}

// Stored files that their readers only partly understand are kept under a
// backup name before a save writes over them, and the user is told.
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <sstream>

#include "ModelFixture.h"
#include "model/LibraryFile.h"
#include "model/KeyValue.h"

namespace fs = std::filesystem;

namespace {
std::string MasterPath() { return g_strSessionInfoDir + kMasterFileName; }
std::string LibPath() { return g_strLibraryInfoDir + kLibraryFileName; }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string CrOnly(std::string text) {
    for (char& c : text)
        if (c == '\n') c = '\r';
    return text;
}

// Backups of a file in its folder.
std::vector<std::string> Backups(const std::string& path) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(fs::path(path).parent_path())) {
        const std::string p = e.path().string();
        if (p.compare(0, path.size() + 4, path + ".bak") == 0) out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    return out;
}
}  // namespace

class DamagedFilesTest : public ModelTest {};

TEST_F(DamagedFilesTest, WholeGoldenFilesMakeNoBackup) {
    CopyDataFolder("master", g_strSessionInfoDir);
    fs::copy_file(Data("library/_qvl_library.txt"), LibPath());
    CProgramData data;
    data.LoadMasterFile();
    data.LoadLibraryFile(LibPath(), false);
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    ASSERT_TRUE(data.SaveLibraryFile(LibPath()));
    EXPECT_TRUE(Backups(MasterPath()).empty());
    EXPECT_TRUE(Backups(LibPath()).empty());
    for (const auto& e : fs::directory_iterator(g_strSessionInfoDir))
        EXPECT_EQ(e.path().string().find(".bak"), std::string::npos) << e.path();
    EXPECT_FALSE(trace.Has("was not read whole"));

    // Files whose readers take a missing section for its defaults are whole
    // too: a master file of only its options line as the program writes it,
    // one without its cluster line, a work file without its basket block.
    g_nTabWidth = 3;
    const std::string optionsOnly = data.FormatProgramOptions() + "\n";
    g_nTabWidth = 8;
    const std::string golden = ReadFile(Data("master/_qvl_master.txt"));
    const size_t clusters = golden.find("Remote Cluster Names:");
    const std::string noClusterLine = golden.substr(0, clusters) + golden.substr(golden.find('\n', clusters) + 1);
    const std::string work = ReadFile(Data("master/Box01-Ses02-Betaold.txt"));
    const std::string noBasketBlock = work.substr(0, work.find("File-Basket info:"));
    for (const std::string* master : {&optionsOnly, &noClusterLine}) {
        SCOPED_TRACE(*master);
        trace.lines.clear();
        WriteFile(MasterPath(), *master);
        WriteFile(g_strSessionInfoDir + "Box01-Ses02-Betaold.txt", noBasketBlock);
        CProgramData whole;
        whole.LoadMasterFile();
        if (master == &optionsOnly) {
            EXPECT_EQ(g_nTabWidth, 3);
            EXPECT_EQ(whole.GetProjectName(0), "My Project");
            EXPECT_EQ(whole.GetClusterName(0), "My Cluster");
        } else {
            // The accounts go to a new "My Cluster"; the sessions are all there.
            ASSERT_EQ(whole.GetClusterCount(), 1);
            EXPECT_EQ(whole.GetClusterName(0), "My Cluster");
            EXPECT_EQ(whole.GetHostCount(0), 2);
            EXPECT_EQ(whole.GetVaultPassword("alpha.example.com", "bob"), "sec,ret");
            ASSERT_EQ(whole.GetSessionCount(0), 2);
            if (!whole.GetSessionPtr(0, 1)->IsLoaded) ASSERT_EQ(whole.LoadSessionFile(0, 1), 1);
            // The items go to one basket "My Basket", nothing selected.
            ASSERT_EQ(whole.GetBasketCount(0, 1), 1);
            EXPECT_EQ(whole.GetBasketName(0, 1, 0), "My Basket");
            EXPECT_EQ(whole.GetFileItemCount(0, 1, 0), 3);
            EXPECT_TRUE(whole.GetSelection(0, 1, 0).empty());
        }
        EXPECT_TRUE(Backups(MasterPath()).empty());
        EXPECT_TRUE(Backups(g_strSessionInfoDir + "Box01-Ses02-Betaold.txt").empty());
        EXPECT_FALSE(trace.Has("was not read whole")) << trace.All();
        EXPECT_FALSE(trace.Has("Skipped")) << trace.All();
        EXPECT_TRUE(prompter.Messages().empty());
    }
}

TEST_F(DamagedFilesTest, AMasterFileWithAMisspeltMarkerIsKeptBeforeTheSave) {
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string damaged =
        Replaced(ReadFile(MasterPath()), "Remote Cluster Names:", "Remote Clustr Names:");
    WriteFile(MasterPath(), damaged);
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(data.GetProjectCount(), 2);  // what could be read is there
    ASSERT_TRUE(trace.Has("The master data file " + MasterPath() + " was not read whole (1 line"))
        << trace.All();
    EXPECT_TRUE(trace.Has("kept as " + MasterPath() + ".bak"));
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), damaged);
    // The next damaged load adds a second backup; the first stays.
    WriteFile(MasterPath(), damaged + "garbage line\n");
    CProgramData again;
    again.LoadMasterFile();
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), damaged);
    EXPECT_EQ(ReadFile(MasterPath() + ".bak.1"), damaged + "garbage line\n");
    // The same damaged file read again (a start without a save) is kept once.
    CProgramData third;
    third.LoadMasterFile();
    EXPECT_EQ(Backups(MasterPath()).size(), 2u);
    EXPECT_TRUE(trace.Has("kept as " + MasterPath() + ".bak.1 already"));
    EXPECT_EQ(prompter.Messages().size(), 0u);  // told in the log, no box
}

TEST_F(DamagedFilesTest, MissingHeaderLinesAndDamagedBlocksAreCountedAndSessionsKept) {
    // No "Session Box:" line: the sessions name no project.
    CopyDataFolder("master", g_strSessionInfoDir);
    std::string text = ReadFile(MasterPath());
    const size_t box = text.find("Session Box:");
    const std::string noBoxes = text.substr(0, box) + text.substr(text.find('\n', box) + 1);
    WriteFile(MasterPath(), noBoxes);
    CProgramData data;
    data.LoadMasterFile();
    EXPECT_EQ(Backups(MasterPath()).size(), 1u);
    EXPECT_EQ(ReadFile(MasterPath() + ".bak"), noBoxes);

    // A session block without its values line keeps its work file.
    CopyDataFolder("master", g_strSessionInfoDir);
    text = ReadFile(MasterPath());
    const size_t values = text.find("SessionName=Alpha");
    const std::string noValues = text.substr(0, values) + text.substr(text.find('\n', values) + 1);
    WriteFile(MasterPath(), noValues);
    CProgramData d2;
    d2.LoadMasterFile();
    bool found = false;
    for (int s = 0; s < d2.GetSessionCount(0); ++s)
        found |= d2.GetSessionPtr(0, s)->BoxFileName == "Box01-Ses01-Alpha.txt";
    EXPECT_TRUE(found);
    EXPECT_EQ(Backups(MasterPath()).size(), 2u);
}

TEST_F(DamagedFilesTest, CrOnlyLineEndsAreLineEndsForEveryReader) {
    CopyDataFolder("master", g_strSessionInfoDir);
    for (const char* name : {"_qvl_master.txt", "Box01-Ses02-Betaold.txt"}) {
        const std::string p = g_strSessionInfoDir + name;
        WriteFile(p, CrOnly(ReadFile(p)));
    }
    WriteFile(LibPath(), CrOnly(ReadFile(Data("library/_qvl_library.txt"))));
    CProgramData data;
    data.LoadMasterFile();
    ASSERT_EQ(data.GetProjectCount(), 2);
    EXPECT_EQ(data.GetSessionName(0, 1), "Beta, old");
    EXPECT_EQ(data.GetFileItemCount(0, 1, 0), 2);
    EXPECT_EQ(data.GetFileItem(0, 1, 0, 1).FileName, "a, b.txt");
    EXPECT_EQ(data.GetClusterCount(), 2);

    CProgramData lib, golden;
    lib.LoadLibraryFile(LibPath(), false);
    golden.LoadLibraryFile(Data("library/_qvl_library.txt"), true);
    EXPECT_GT(lib.GetLibraryCount(), 0);
    EXPECT_EQ(lib.GetLibraryCount(), golden.GetLibraryCount());
    EXPECT_EQ(lib.FormatLibraryFile(), golden.FormatLibraryFile());

    // A file whose first line ends in LF and the others in a lone CR is read
    // line by line all the same, whole.
    CopyDataFolder("master", g_strSessionInfoDir);
    std::string mixed = ReadFile(MasterPath());
    const size_t first = mixed.find('\n') + 1;
    mixed = mixed.substr(0, first) + CrOnly(mixed.substr(first));
    WriteFile(MasterPath(), mixed);
    CProgramData mixedData;
    mixedData.LoadMasterFile();
    EXPECT_EQ(mixedData.GetProjectCount(), 2);
    EXPECT_EQ(mixedData.GetClusterCount(), 2);
    EXPECT_EQ(mixedData.GetVaultPassword("alpha.example.com", "bob"),
              data.GetVaultPassword("alpha.example.com", "bob"));
    EXPECT_TRUE(Backups(MasterPath()).empty());

    // The reader itself: CR, LF and CR LF files give the same lines, and
    // each line ends in its own way.
    for (const char* text : {"a\rb\r\rc", "a\nb\n\nc\n", "a\r\nb\r\n\r\nc", "a\nb\r\rc\r\n",
                             "a\r\nb\r\n\nc"}) {
        std::istringstream in(text);
        std::vector<std::string> lines;
        std::string line;
        while (ReadLine(in, line)) lines.push_back(line);
        EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c"})) << text;
    }
}

TEST_F(DamagedFilesTest, AMasterFileCutShortOrReadAsOneLineIsKept) {
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string whole = ReadFile(MasterPath());
    std::vector<std::string> cuts;
    for (int keep : {2, 6, 10, 14, 15, 16, 20, 26}) {
        size_t at = 0;
        for (int n = 0; n < keep; ++n) at = whole.find('\n', at) + 1;
        cuts.push_back(whole.substr(0, at));
    }
    // Line ends the reader does not take: the whole file is one line.
    std::string oneLine = whole;
    for (char& c : oneLine)
        if (c == '\n') c = '\x1e';
    cuts.push_back(oneLine);
    size_t kept = 0;
    for (const std::string& cut : cuts) {
        WriteFile(MasterPath(), cut);
        trace.lines.clear();
        CProgramData data;
        data.LoadMasterFile();
        ASSERT_EQ(Backups(MasterPath()).size(), ++kept) << cut;
        EXPECT_EQ(ReadFile(Backups(MasterPath()).back()), cut);
        // Read as one line, the options line also names its first unknown keys.
        EXPECT_EQ(trace.lines.size(), cut == oneLine ? 2u : 1u) << trace.All();
        EXPECT_TRUE(trace.Has("The master data file " + MasterPath() + " was not read whole (")) << trace.All();
    }
}

TEST_F(DamagedFilesTest, FoldersPipesAndDevicesAreRefusedByEveryReaderWithoutThrowingOrBlocking) {
    // A folder where the library file should be: refused and moved aside.
    fs::create_directories(LibPath() + "/inside");
    CProgramData lib;
    lib.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(lib.GetLibraryCount(), 0);
    EXPECT_TRUE(fs::is_directory(LibPath() + ".bak/inside"));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_NE(prompter.Messages().back().find("is a folder"), std::string::npos) << prompter.Messages().back();
    ASSERT_TRUE(lib.SaveLibraryFile(LibPath()));

    // A folder named as the first backup, and a damaged master file.
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string damaged = ReadFile(MasterPath()) + "garbage line\n";
    WriteFile(MasterPath(), damaged);
    fs::create_directories(MasterPath() + ".bak");
    CProgramData master;
    master.LoadMasterFile();
    EXPECT_EQ(master.GetProjectCount(), 2);
    EXPECT_EQ(ReadFile(MasterPath() + ".bak.1"), damaged);

    // Importing a folder, a named pipe or a device.
    const std::string fifo = tmp.dir() + "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {tmp.dir(), fifo, std::string("/dev/zero")}) {
        prompter.entries.clear();
        CProgramData in;
        EXPECT_FALSE(in.ImportLibraries(path)) << path;
        EXPECT_FALSE(in.ImportSessions(path)) << path;
        EXPECT_EQ(in.GetLibraryCount(), 0);
        ASSERT_EQ(prompter.Messages().size(), 2u) << path;
        EXPECT_NE(prompter.Messages()[0].find(path), std::string::npos) << prompter.Messages()[0];
    }
    std::string text;
    EXPECT_FALSE(ReadFileText(fifo, text));
    EXPECT_TRUE(trace.Has(fifo + " is a named pipe, not a file.")) << trace.All();

    // A named pipe at the master file's place is moved aside, not read.
    fs::remove(MasterPath());
    ASSERT_EQ(::mkfifo(MasterPath().c_str(), 0600), 0);
    CProgramData piped;
    piped.LoadMasterFile();
    EXPECT_FALSE(fs::exists(MasterPath()));
    EXPECT_EQ(piped.GetProjectCount(), 1);
}

TEST_F(DamagedFilesTest, AWorkFileWithDamagedOrMissingLinesIsKeptAndItsItemsRead) {
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string work = g_strSessionInfoDir + "Box01-Ses02-Betaold.txt";
    std::string text = ReadFile(work);
    // The three header lines gone, an item line damaged.
    text = text.substr(text.find("    0. FileName="));
    text = Replaced(text, "    1. FileName=a", "    1. FleName=a");
    WriteFile(work, text);
    CSession se;
    se.BoxFileName = "Box01-Ses02-Betaold.txt";
    ASSERT_EQ(se.Read(g_strSessionInfoDir), 1);
    EXPECT_EQ(se.m_Baskets[0].m_Items.size(), 1u);  // the first item survived the lost header
    EXPECT_EQ(se.m_Baskets[0].m_Items[0].FileName, "LOGIN.COM");
    EXPECT_TRUE(trace.Has("The session work file " + work + " was not read whole (4 lines"))
        << trace.All();
    EXPECT_EQ(ReadFile(work + ".bak"), text);
    ASSERT_EQ(se.Write(g_strSessionInfoDir, 1, 0), 1);
    EXPECT_EQ(ReadFile(work + ".bak"), text);

    // A foreign folder's file is read but not backed up: no save writes it.
    TempDir other;
    WriteFile(other / "Box.txt", text);
    CSession foreign;
    foreign.BoxFileName = "Box.txt";
    ASSERT_EQ(foreign.Read(other.dir()), 1);
    EXPECT_FALSE(fs::exists(other / "Box.txt.bak"));
}

TEST_F(DamagedFilesTest, AMisspeltOrMissingKeyKeepsTheFileAndNamesTheKey) {
    struct Case {
        const char* file;
        const char* from;
        const char* to;
        const char* logged;
    };
    const Case cases[] = {
        // The account's password would be empty at the next save.
        {"_qvl_master.txt", "BinaryFormat=h:", "BinaryFormaT=h:",
         "account bob@alpha.example.com: unknown key \"BinaryFormaT=\", missing key \"BinaryFormat=\""},
        {"_qvl_master.txt", "LocalDir=/work/alpha/", "LocalDiR=/work/alpha/",
         "session \"Alpha\": unknown key \"LocalDiR=\", missing key \"LocalDir=\""},
        {"_qvl_master.txt", ", ResideType=VMS, ", ", ", "account SYSTEM@vms1: missing key \"ResideType=\""},
        {"_qvl_master.txt", "CloseWorkPad=Yes, ", "CloseWorkPad=Yes, Colour=red, ",
         "program options: unknown key \"Colour=\""},
        // A stored password that is not hexadecimal is never taken as typed.
        {"_qvl_master.txt", "BinaryFormat=h:7365632c726574", "BinaryFormat=h:7365632c72657x",
         "account bob@alpha.example.com: the stored password is damaged; it is left empty"},
        // Nor is a mark in capitals, and a mark without its digits is no
        // empty password: the login asks for it.
        {"_qvl_master.txt", "BinaryFormat=h:7365632c726574", "BinaryFormat=H:7365632c726574",
         "account bob@alpha.example.com: the stored password is damaged; it is left empty"},
        {"_qvl_master.txt", "BinaryFormat=h:7365632c726574", "BinaryFormat=h:",
         "account bob@alpha.example.com: the stored password is damaged; it is left empty"},
        {"Box01-Ses01-Alpha.txt", "RemHost=alpha", "RemHosT=alpha",
         "item \"main.c\": unknown key \"RemHosT=\", missing key \"RemHost=\""},
        {"Box01-Ses02-Betaold.txt", "BasketSel=1#0#, ", "BasketSel=1#0#, BasketSel=1#, ",
         "basket \"Main\": repeated key \"BasketSel=\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        fs::remove_all(g_strSessionInfoDir);
        fs::create_directories(g_strSessionInfoDir);
        CopyDataFolder("master", g_strSessionInfoDir);
        const std::string path = g_strSessionInfoDir + c.file;
        const std::string damaged = Replaced(ReadFile(path), c.from, c.to);
        ASSERT_NE(damaged, ReadFile(path));
        WriteFile(path, damaged);
        trace.lines.clear();
        CProgramData data;
        data.LoadMasterFile();
        if (path != MasterPath()) {
            // The work file of a session that is not current is read when it is shown.
            for (int s = 0; s < data.GetSessionCount(0); ++s)
                if (data.GetSessionPtr(0, s)->BoxFileName == c.file) data.LoadSessionFile(0, s);
        }
        EXPECT_TRUE(trace.Has(std::string(c.file) + ": " + c.logged)) << trace.All();
        EXPECT_TRUE(trace.Has(" " + path + " was not read whole (1 line")) << trace.All();
        EXPECT_EQ(trace.All().find("7365632c"), std::string::npos);
        EXPECT_EQ(trace.All().find("sec,ret"), std::string::npos);
        CHost account;
        if (data.FindVaultHost("alpha.example.com", "bob", account))
            EXPECT_TRUE(account.m_strPassword == "sec,ret" || account.m_strPassword.empty())
                << account.m_strPassword;
        ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
        EXPECT_EQ(ReadFile(path + ".bak"), damaged);
    }
}

TEST_F(DamagedFilesTest, ALibraryFileWithDamagedLinesIsKeptAndMakesNoGarbageLibrary) {
    const std::string golden = ReadFile(Data("library/_qvl_library.txt"));
    CProgramData good;
    good.LoadLibraryFile(Data("library/_qvl_library.txt"), true);
    // A misspelt macro-list marker: its lines must not turn into libraries.
    const std::string damaged =
        Replaced(golden, "~X~ Wild find rep macro list: ", "~X~ Wild find rep macro lst: ");
    ASSERT_NE(damaged, golden);
    WriteFile(LibPath(), damaged);
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(data.GetLibraryCount(), good.GetLibraryCount());
    for (int i = 0; i < data.GetLibraryCount(); ++i)
        EXPECT_EQ(data.m_LibraryList.Libraries[i].LibName, good.m_LibraryList.Libraries[i].LibName);
    EXPECT_TRUE(trace.Has("The library file " + LibPath() + " was not read whole")) << trace.All();
    ASSERT_TRUE(data.SaveLibraryFile(LibPath()));
    EXPECT_EQ(ReadFile(LibPath() + ".bak"), damaged);

    // A misspelt key: the line is read (its value is lost), and counted and
    // named so that the file is kept before the save writes the value anew.
    const std::string flags = "IsActive=Yes, IsFindWild=No, IsRepWild=No, IsMatchCase=Yes, ";
    ASSERT_NE(golden.find(flags), std::string::npos);
    const std::string misspelt = Replaced(golden, flags, Replaced(flags, "IsMatchCase=", "IsMatchCasE="));
    fs::remove(LibPath() + ".bak");
    WriteFile(LibPath(), misspelt);
    trace.lines.clear();
    CProgramData again;
    again.LoadLibraryFile(LibPath(), false);
    EXPECT_EQ(again.GetLibraryCount(), good.GetLibraryCount());
    EXPECT_TRUE(trace.Has("Library file " + LibPath() + ": library \"" + good.m_LibraryList.Libraries[0].LibName +
                          "\" macro 1: unknown key \"IsMatchCasE=\", missing key \"IsMatchCase=\""))
        << trace.All();
    EXPECT_TRUE(trace.Has("The library file " + LibPath() + " was not read whole (1 line")) << trace.All();
    ASSERT_TRUE(again.SaveLibraryFile(LibPath()));
    EXPECT_EQ(ReadFile(LibPath() + ".bak"), misspelt);

    // The reader counts what it skips, and only that.
    std::istringstream in("LibName=A, NothingYetStr=, NothingYetInt=0, \nnonsense\n" +
                          std::string(kLibrariesEndMarker) + "\n");
    CLibraryList list;
    size_t skipped = 0;
    ReadLibrary(in, kLibrariesEndMarker, list, &skipped);
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(skipped, 1u);
}

TEST_F(DamagedFilesTest, ALibraryBlockWithoutItsOptionalSectionsIsWhole) {
    // The first block has no type-card and no delimiter section, the second
    // no macro list either: nothing is left out, nothing is kept aside.
    const std::string text = "~*~ Library option: Version=1.0.735.0, WorkMode=0, FR_LibIndex=0, \n" +
                             std::string(kLibrariesBeginMarker) + "\n" +
                             "LibName=A, NothingYetStr=, NothingYetInt=0, \n"
                             "~X~ Wild find rep macro list: \n"
                             "cat\ndog\nIsActive=Yes, IsFindWild=No, IsRepWild=No, IsMatchCase=Yes, "
                             "IsPerLine=No, IsCompConst=No, IsSubFilter=No, IsDelimParse=No, \n"
                             "~o~ End of wild find rep macro list: 1\n"
                             "LibName=B, NothingYetStr=, NothingYetInt=0, \n" +
                             std::string(kLibrariesEndMarker) + "\n";
    WriteFile(LibPath(), text);
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    ASSERT_EQ(data.GetLibraryCount(), 2);
    EXPECT_EQ(data.m_LibraryList.Libraries[0].MacroList.size(), 1u);
    EXPECT_EQ(data.m_LibraryList.Libraries[0].DelimList.size(), 10u);
    EXPECT_EQ(data.m_LibraryList.Libraries[1].LibName, "B");
    EXPECT_FALSE(trace.Has("was not read whole")) << trace.All();
    EXPECT_FALSE(fs::exists(LibPath() + ".bak"));
}

TEST_F(DamagedFilesTest, YesToTheOldVersionQuestionKeepsTheOldLibraryFile) {
    const std::string old = "~*~ Library option: Version=0.9, WorkMode=0, FR_LibIndex=0, \n";
    WriteFile(LibPath(), old);
    prompter.answers = {Answer::Yes};
    CProgramData data;
    data.LoadLibraryFile(LibPath(), false);
    EXPECT_TRUE(exitCodes.empty());
    ASSERT_TRUE(data.SaveLibraryFile(LibPath()));
    EXPECT_EQ(ReadFile(LibPath() + ".bak"), old);
}

TEST_F(DamagedFilesTest, AWorkFileNameSharedWithTheMasterFileOrAnotherSessionIsRenamed) {
    CopyDataFolder("master", g_strSessionInfoDir);
    std::string text = ReadFile(MasterPath());
    text = Replaced(text, "Box02-Ses01-Gamma.txt", "_qvl_master.txt");
    text = Replaced(text, "Box01-Ses02-Betaold.txt", "Box01-Ses01-Alpha.txt");
    WriteFile(MasterPath(), text);
    CProgramData data;
    data.LoadMasterFile();
    std::vector<std::string> names;
    for (int p = 0; p < data.GetProjectCount(); ++p)
        for (int s = 0; s < data.GetSessionCount(p); ++s)
            names.push_back(data.GetSessionPtr(p, s)->BoxFileName);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(std::count(names.begin(), names.end(), "_qvl_master.txt"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Box01-Ses01-Alpha.txt"), 1);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
    // A save leaves the master file a master file.
    ASSERT_TRUE(data.SaveMasterFile(MasterPath()));
    EXPECT_EQ(ReadFile(MasterPath()).rfind("Program Option:", 0), 0u);
}

// The start reads the current session's work file ahead on a worker; the
// load takes those items only when the file read whole and has not changed
// since, so a damaged or replaced file is read and reported as always.
TEST_F(DamagedFilesTest, TheWorkFileReadAheadAtStartIsTakenOnlyWhenWholeAndUnchanged) {
    CopyDataFolder("master", g_strSessionInfoDir);
    const std::string work = g_strSessionInfoDir + "Box01-Ses02-Betaold.txt";  // the current session's
    auto items = [](CProgramData& data) {
        std::vector<std::string> out;
        const CSession* se = data.GetSessionPtr(0, 1);
        if (!se || !se->IsLoaded) return out;
        for (const auto& b : se->m_Baskets) {
            out.push_back("basket " + b.BasketName);
            for (const auto& it : b.m_Items)
                out.push_back(it.FileName + " " + it.LocalDir + " " + std::to_string(it.LocalModTime) + " " +
                              std::to_string(it.RemoteModTime) + " " + it.IsFTPed);
        }
        return out;
    };
    CProgramData plain;
    plain.LoadMasterFile();
    const auto expected = items(plain);
    ASSERT_GT(expected.size(), 2u);

    PrefetchCurrentWorkFile(MasterPath(), g_strSessionInfoDir);
    CProgramData ahead;
    ahead.LoadMasterFile();
    EXPECT_EQ(items(ahead), expected);
    EXPECT_EQ(ahead.GetSessionPtr(0, 1)->BasketInd, plain.GetSessionPtr(0, 1)->BasketInd);

    // Replaced after the worker may have read it: the new text is what loads.
    PrefetchCurrentWorkFile(MasterPath(), g_strSessionInfoDir);
    const std::string whole = ReadFile(work);
    WriteFile(work + ".new", Replaced(whole, "FileName=LOGIN.COM", "FileName=LOGOUT.COM"));
    fs::rename(work + ".new", work);
    CProgramData replaced;
    replaced.LoadMasterFile();
    const auto now = items(replaced);
    ASSERT_FALSE(now.empty());
    EXPECT_NE(std::find_if(now.begin(), now.end(), [](const std::string& s) { return s.rfind("LOGOUT.COM", 0) == 0; }),
              now.end());

    // Damaged: read again on the load, reported once and kept.
    const std::string damaged = Replaced(whole, "FileName=LOGIN.COM", "FleName=LOGIN.COM");
    WriteFile(work, damaged);
    trace.lines.clear();
    PrefetchCurrentWorkFile(MasterPath(), g_strSessionInfoDir);
    CProgramData hurt;
    hurt.LoadMasterFile();
    EXPECT_EQ(items(hurt).size(), expected.size() - 1);
    EXPECT_EQ(std::count_if(trace.lines.begin(), trace.lines.end(),
                            [](const std::string& l) { return l.find("was not read whole (1 line") != std::string::npos; }),
              1)
        << trace.All();
    EXPECT_EQ(ReadFile(work + ".bak"), damaged);
}

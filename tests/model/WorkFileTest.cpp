#include <filesystem>
#include <random>
#include <sstream>

#include "ModelFixture.h"

namespace fs = std::filesystem;

class WorkFileTest : public ModelTest {
protected:
    // A session whose work file is the golden one.
    CSession GoldenSession() {
        CSession se;
        se.BoxFileName = "Box01-Ses02-Betaold.txt";
        return se;
    }
};

TEST_F(WorkFileTest, GoldenWorkFileReadsAndWritesByteForByte) {
    CopyDataFolder("master", g_strSessionInfoDir);
    CSession se = GoldenSession();
    ASSERT_EQ(se.Read(g_strSessionInfoDir), 1);
    EXPECT_TRUE(se.IsLoaded);
    ASSERT_EQ(se.m_Baskets.size(), 2u);
    EXPECT_EQ(se.m_Baskets[0].BasketName, "Main");
    EXPECT_EQ(se.m_Baskets[0].m_Selection, (std::vector<int>{1, 0}));
    ASSERT_EQ(se.m_Baskets[0].m_Items.size(), 2u);
    const CFileItem& login = se.m_Baskets[0].m_Items[0];
    EXPECT_TRUE(login.IsBatFile);
    EXPECT_EQ(login.RemoteDir, "DKA0:[SYSTEM]");
    EXPECT_EQ(login.GetRemoteTimeText(), "2008+7+5+13+5+0+");
    EXPECT_EQ(login.IsRemoteModified, "No");
    EXPECT_EQ(se.m_Baskets[1].m_Items[0].IsFTPed, "failed");
    EXPECT_TRUE(se.m_Baskets[1].m_Items[0].IsBinaryFile);
    // The header comes from the master file; here the session's own values stand.
    se.SessionName = "Beta, old";
    se.Host = "vms1";
    se.User = "SYSTEM";
    se.RemoteDir = "DKA0:[SYSTEM.SRC]";
    se.LocalDir = "/work/beta/";
    se.BasketInd = 1;
    se.BoxFileName = "Box01-Ses02-Betaold.txt";
    EXPECT_EQ(se.FormatWorkFile(1, 0), ReadFile(Data("master/Box01-Ses02-Betaold.txt")));
}

TEST_F(WorkFileTest, TolerantReading) {
    // CR LF, an item for a basket that does not exist, no basket block, a
    // last line without a line break.
    WriteFile(g_strSessionInfoDir + "Box.txt",
              "Session ID: 0\r\nheader\r\nBox.txt\r\n"
              "    0. FileName=a.c, BasketInd=7, \r\n"
              "    1. FileName=b.c, LocalModTime=2008+13+1+0+0+0+, BasketInd=-1, \r\n"
              "    2. FileName=c.c, IsBatFile=yes, ");
    CSession se;
    se.BoxFileName = "Box.txt";
    ASSERT_EQ(se.Read(g_strSessionInfoDir), 1);
    ASSERT_EQ(se.m_Baskets.size(), 1u);
    EXPECT_EQ(se.m_Baskets[0].BasketName, "My Basket");
    ASSERT_EQ(se.m_Baskets[0].m_Items.size(), 3u);
    EXPECT_TRUE(se.m_Baskets[0].m_Selection.empty());
    EXPECT_EQ(se.m_Baskets[0].m_Items[1].LocalModTime, MakeLocalTime(2006, 1, 1, 0, 0, 0));
    EXPECT_FALSE(se.m_Baskets[0].m_Items[2].IsBatFile);
    EXPECT_EQ(se.m_Baskets[0].m_Items[2].FileType, "");

    // Doubled separators and stray selection entries.
    WriteFile(g_strSessionInfoDir + "Box2.txt",
              "Session ID: 0\nheader\nBox2.txt\n"
              "    0. FileName=a.c, BasketInd=0, \n    1. FileName=b.c, BasketInd=0, \n"
              "    2. FileName=c.c, BasketInd=0, \n    3. FileName=d.c, BasketInd=0, \n"
              "    4. FileName=e.c, BasketInd=0, \n    5. FileName=f.c, BasketInd=0, \n"
              "End of Session ID: \nFile-Basket info: \n    0. BasketName=B, BasketSel=##3##5##99#-2#, \n");
    CSession s2;
    s2.BoxFileName = "Box2.txt";
    ASSERT_EQ(s2.Read(g_strSessionInfoDir), 1);
    EXPECT_EQ(s2.m_Baskets[0].m_Selection, (std::vector<int>{3, 5}));
}

TEST_F(WorkFileTest, MissingFileLeavesTheSessionAsItWas) {
    CSession se;
    se.BoxFileName = "Box-none.txt";
    se.m_Baskets.emplace_back("Keep");
    EXPECT_EQ(se.Read(g_strSessionInfoDir), 0);
    EXPECT_FALSE(se.IsLoaded);
    EXPECT_EQ(se.m_Baskets.size(), 1u);
    EXPECT_TRUE(trace.Has("Data retrieve failed. \r\nNot found: "));
}

TEST_F(WorkFileTest, GarbageHugeAndRandomLinesAreReportedNotTurnedIntoItems) {
    std::mt19937 rng(3);
    std::string junk;
    for (int i = 0; i < 5000; ++i) {
        char c = static_cast<char>(rng() & 0xff);
        junk += c == '\n' || c == '\r' ? ' ' : c;  // one line
    }
    WriteFile(g_strSessionInfoDir + "Box.txt",
              "Session ID: 0\nheader\nBox.txt\n"
              "    0. FileName=good.c, BasketInd=0, \n" + junk + "\n" + std::string(300000, 'y') +
                  "\n    1. FileName=" + std::string(20000, 'n') + ", BasketInd=0, \n"
                  "End of Session ID: \nFile-Basket info: \n    0. BasketName=B, BasketSel=0#, \nEnd of file-basket info: \n");
    CSession se;
    se.BoxFileName = "Box.txt";
    ASSERT_EQ(se.Read(g_strSessionInfoDir), 1);
    ASSERT_EQ(se.m_Baskets[0].m_Items.size(), 2u);
    EXPECT_EQ(se.m_Baskets[0].m_Items[0].FileName, "good.c");
    EXPECT_EQ(se.m_Baskets[0].m_Items[1].FileName.size(), 20000u);
    // The junk lines, and the two items that lack keys the writer writes.
    EXPECT_TRUE(trace.Has("Skipped 4 unreadable line(s)"));

    // A file of random bytes reads without a crash.
    WriteFile(g_strSessionInfoDir + "Box3.txt", junk);
    CSession s3;
    s3.BoxFileName = "Box3.txt";
    EXPECT_EQ(s3.Read(g_strSessionInfoDir), 1);
    EXPECT_EQ(s3.m_Baskets.size(), 1u);
}

// A record of a server that tells no second keeps the unit and size its
// listing showed, and one read by MDTM before any listing told the
// listing's clock keeps that it is on MDTM's. A unit no listing gives, a
// size that is none or a clock other than MDTM's is a damaged record: warned about, the file kept aside, and its server time
// taken as not known (never a coarser clock or another size), so that its
// next send asks first.
TEST_F(WorkFileTest, ARemoteRecordWithAValueNoListingGivesIsDamaged) {
    const std::string item = "FileType=local, RemoteDir=/www/, LocalDir=/l/, RemHost=h, RemUser=u, IsFTPed=Yes, "
                             "IsPinned=No, IsBatFile=No, IsBinaryFile=No, LocalModTime=2026+1+2+3+4+5+, "
                             "RemoteModTime=2026+1+2+3+4+0+, ";
    WriteFile(g_strSessionInfoDir + "Box.txt",
              "Session ID: 0\nheader\nBox.txt\n"
              "    0. FileName=minute.dat, " + item + "RemoteTimeUnit=60, RemoteSize=12, BasketInd=0, \n"
              "    1. FileName=day.dat, " + item + "RemoteTimeUnit=86400, RemoteSize=-1, BasketInd=0, \n"
              "    2. FileName=earlier.dat, " + item + "BasketInd=0, \n"
              "    3. FileName=unit.dat, " + item + "RemoteTimeUnit=999999, RemoteSize=12, BasketInd=0, \n"
              "    4. FileName=letters.dat, " + item + "RemoteTimeUnit=60, RemoteSize=abc, BasketInd=0, \n"
              "    5. FileName=huge.dat, " + item + "RemoteTimeUnit=60, RemoteSize=100000000000000000000000, "
              "BasketInd=0, \n"
              "    6. FileName=mdtm.dat, " + item + "RemoteClock=MDTM, BasketInd=0, \n"
              "    7. FileName=clock.dat, " + item + "RemoteClock=UTC, BasketInd=0, \n"
              "End of Session ID: \nFile-Basket info: \n    0. BasketName=B, BasketSel=, \nEnd of file-basket info: \n");
    CSession se;
    se.BoxFileName = "Box.txt";
    ASSERT_EQ(se.Read(g_strSessionInfoDir), 1);
    const std::vector<CFileItem>& items = se.m_Baskets[0].m_Items;
    ASSERT_EQ(items.size(), 8u);
    const std::time_t recorded = MakeLocalTime(2026, 1, 2, 3, 4, 0);
    EXPECT_EQ(items[0].RemoteModTime, recorded);
    EXPECT_EQ(items[0].RemoteTimeUnit, 60);
    EXPECT_EQ(items[0].RemoteSize, 12);
    EXPECT_EQ(items[1].RemoteTimeUnit, 86400);
    EXPECT_EQ(items[1].RemoteSize, -1);
    // As the previous release wrote it: taken to the second.
    EXPECT_EQ(items[2].RemoteModTime, recorded);
    EXPECT_EQ(items[2].RemoteTimeUnit, 0);
    EXPECT_FALSE(items[2].RemoteSecondKnown);
    // On MDTM's clock, to the second.
    EXPECT_EQ(items[6].RemoteModTime, recorded);
    EXPECT_TRUE(items[6].RemoteSecondKnown);
    EXPECT_FALSE(items[6].RemoteTimeListed);
    for (size_t k : {3, 4, 5, 7}) {
        EXPECT_EQ(items[k].RemoteModTime, RemoteUnknownTime()) << items[k].FileName;
        EXPECT_EQ(items[k].RemoteTimeUnit, -1) << items[k].FileName;
        EXPECT_EQ(items[k].IsFTPed, "Yes");
    }
    EXPECT_TRUE(trace.Has("item \"unit.dat\": RemoteTimeUnit=\"999999\" is no listing's unit: its server time is "
                          "taken as not known, and its next send asks first"))
        << trace.All();
    EXPECT_TRUE(trace.Has("item \"letters.dat\": RemoteSize=\"abc\" is no size a listing gives"));
    EXPECT_TRUE(trace.Has("item \"huge.dat\": RemoteSize=\"100000000000000000000000\" is no size"));
    EXPECT_TRUE(trace.Has("item \"clock.dat\": RemoteClock=\"UTC\" is no clock a record is kept on: its server "
                          "time is taken as not known"))
        << trace.All();
    EXPECT_TRUE(trace.Has("Skipped 4 unreadable line(s)"));
    EXPECT_TRUE(fs::exists(g_strSessionInfoDir + "Box.txt.bak"));
    // Written again, the damaged records are records of a time not known.
    const std::string again = se.FormatWorkFile(0, 0);
    EXPECT_NE(again.find("FileName=unit.dat, " + item.substr(0, item.find("RemoteModTime=")) +
                         "RemoteModTime=1970+1+1+1+1+1+, BasketInd=0, "),
              std::string::npos)
        << again;
    EXPECT_NE(again.find("FileName=minute.dat, " + item + "RemoteTimeUnit=60, RemoteSize=12, BasketInd=0, "),
              std::string::npos);
    EXPECT_NE(again.find("FileName=mdtm.dat, " + item + "RemoteClock=MDTM, BasketInd=0, "), std::string::npos);
    EXPECT_NE(again.find("FileName=earlier.dat, " + item + "BasketInd=0, "), std::string::npos);
}

TEST_F(WorkFileTest, WritingIsAtomicAndFailureIsReported) {
    CSession se;
    se.BoxFileName = "Box.txt";
    se.m_Baskets.emplace_back();
    se.m_Baskets[0].m_Items.emplace_back("a\r\nb.c");  // a line break never splits a record
    ASSERT_EQ(se.Write(g_strSessionInfoDir, 0, 0), 1);
    CSession back;
    back.BoxFileName = "Box.txt";
    ASSERT_EQ(back.Read(g_strSessionInfoDir), 1);
    ASSERT_EQ(back.m_Baskets[0].m_Items.size(), 1u);
    EXPECT_EQ(back.m_Baskets[0].m_Items[0].FileName, "a\r\nb.c");  // and the name is kept whole
    // No temporary file is left behind.
    for (const auto& e : fs::directory_iterator(g_strSessionInfoDir))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos);

    se.BoxFileName = "../escape.txt";
    EXPECT_EQ(se.Write(g_strSessionInfoDir, 0, 0), 0);
    EXPECT_FALSE(fs::exists(tmp.dir() + "QVL-UserInfo/escape.txt"));
    se.BoxFileName = "Box.txt";
    EXPECT_EQ(se.Write(tmp.dir() + "nowhere/", 0, 0), 0);
    EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Failed to write session info to file.",
                                                             "Failed to write session info to file."}));
}

TEST_F(WorkFileTest, KeyLikeTextInsideAValueIsNoKey) {
    CSession se;
    se.BoxFileName = "Box.txt";
    se.m_Baskets.emplace_back();
    CFileItem it("a RemHost=evil FileType=x.c");
    it.RemHost = "good";
    it.FileType = "local";
    se.m_Baskets[0].m_Items.push_back(it);
    ASSERT_EQ(se.Write(g_strSessionInfoDir, 0, 0), 1);
    CSession back;
    back.BoxFileName = "Box.txt";
    ASSERT_EQ(back.Read(g_strSessionInfoDir), 1);
    const CFileItem& got = back.m_Baskets[0].m_Items[0];
    EXPECT_EQ(got.FileName, "a RemHost=evil FileType=x.c");
    EXPECT_EQ(got.RemHost, "good");
    EXPECT_EQ(got.FileType, "local");
}

TEST_F(WorkFileTest, LargeSelectionIsStoredAsItsFirstEntryAndStaysWholeInMemory) {
    CSession se;
    se.m_Baskets.emplace_back();
    for (int i = 0; i < 1001; ++i) {
        se.m_Baskets[0].m_Items.emplace_back("f" + std::to_string(i));
        se.m_Baskets[0].m_Selection.push_back(1000 - i);
    }
    std::ostringstream out;
    se.WriteBaskets(out);
    EXPECT_NE(out.str().find("BasketSel=1000#, "), std::string::npos);
    // What the next command acts on is what the user selected.
    ASSERT_EQ(se.m_Baskets[0].m_Selection.size(), 1001u);
    EXPECT_EQ(se.m_Baskets[0].m_Selection.back(), 0);
}

TEST_F(WorkFileTest, MakeBoxFileNameKeepsLettersDigitsDashAndIsUnique) {
    CSession se;
    se.SessionName = "Web & Mail (old)";
    EXPECT_EQ(se.MakeBoxFileName(0, 1, {}), "Box01-Ses02-WebMailold.txt");
    se.SessionName = "#$%";
    EXPECT_EQ(se.MakeBoxFileName(0, 1, {}), "Box01-Ses02-.txt");
    se.SessionName = "My Session";
    std::vector<std::string> used = {"Box01-Ses03-MySession.txt", "Box01-Ses03-MySession-01.txt"};
    EXPECT_EQ(se.MakeBoxFileName(0, 2, used), "Box01-Ses03-MySession-02.txt");
    se.SetBoxFileName(0, 2, used);
    EXPECT_EQ(used.back(), "Box01-Ses03-MySession-02.txt");
    EXPECT_EQ(se.MakeBoxFileName(0, 2, used), "Box01-Ses03-MySession-03.txt");
    // A name of any length makes a name the file system takes, cut and
    // numbered beside the files already there.
    se.SessionName = std::string(300, 'L');
    const std::string cut = se.MakeBoxFileName(0, 2, {});
    EXPECT_EQ(cut.substr(0, 20), "Box01-Ses03-LLLLLLLL");
    EXPECT_LE(cut.size(), kMostBoxFileName - 6);
    WriteFile(g_strSessionInfoDir + cut, "another session's");
    used = {cut};
    const std::string numbered = se.MakeBoxFileName(0, 2, used);
    EXPECT_EQ(numbered, cut.substr(0, cut.size() - 4) + "-01.txt");
    se.SetBoxFileName(0, 2, used);
    se.m_Baskets.emplace_back();
    ASSERT_EQ(se.Write(g_strSessionInfoDir, 2, 0), 1);
    EXPECT_EQ(ReadFile(g_strSessionInfoDir + cut), "another session's");
    EXPECT_EQ(se.GetImageIndex(), 2);
    se.IsLoaded = true;
    EXPECT_EQ(se.GetImageIndex(), 3);
}

TEST_F(WorkFileTest, LegacySessionBlock) {
    std::istringstream in(
        "SessionName=Old, Host=h, User=u, RemoteDir=/r/, LocalDir=/l/, SessionBox=0, BasketInd=0, \n"
        "Box01-Ses01-Old.txt\n"
        "    0. FileName=x.com, m_IsBatfile=Yes, BasketInd=0, \n"
        "End of Session ID: \nFile-Basket info: \n    0. BasketName=Legacy, BasketSel=0#, \nEnd of file-basket info: \n");
    CSession se;
    se.ReadLegacy(in);
    EXPECT_TRUE(se.IsLoaded);
    EXPECT_EQ(se.SessionName, "Old");
    EXPECT_EQ(se.BoxFileName, "Box01-Ses01-Old.txt");
    ASSERT_EQ(se.m_Baskets.size(), 1u);
    EXPECT_TRUE(se.m_Baskets[0].m_Items[0].IsBatFile);
}

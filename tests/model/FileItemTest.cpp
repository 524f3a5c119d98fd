#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

#include "ModelFixture.h"
#include "model/SafeFile.h"

namespace {
void SetMTime(const std::string& path, std::time_t t) {
    utimbuf ub{t, t};
    ::utime(path.c_str(), &ub);
}

CFileItem LocalItem(const std::string& dir, const std::string& name) {
    CFileItem it(name);
    it.LocalDir = dir;
    it.FileType = "local";
    return it;
}

int ThisYear() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm.tm_year + 1900;
}

std::string ShortMonth(int m) {
    static const char* n[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return n[m - 1];
}
}  // namespace

class FileItemTest : public ModelTest {};

TEST_F(FileItemTest, DefaultsAndFreshItemTexts) {
    CFileItem it;
    EXPECT_EQ(it.FileName, "-na-");
    EXPECT_EQ(it.LocalDir, g_strWorkFilesDir);
    EXPECT_EQ(it.IsFTPed, "No");
    EXPECT_EQ(it.GetLocalTimeText(), "1970+1+1+0+0+0+");
    EXPECT_EQ(it.GetSyncText(), "Not FTP-ed");
    it.FileType = "local";
    EXPECT_EQ(it.GetImageIndex(), 9);
    it.FileType = "remote";
    EXPECT_EQ(it.GetImageIndex(), 10);
    EXPECT_EQ(it.GetModifiedTimeText(), "..-...-.... ..:..:..");
    EXPECT_EQ(it.GetCreatedTimeText(), "..-...-.... ..:..:..");
    it.IsBatFile = true;
    EXPECT_EQ(it.GetImageIndex(), 11);
    it.IsBatFile = false;
    it.IsBinaryFile = true;
    EXPECT_EQ(it.GetImageIndex(), 13);
    it.IsPinned = "IsPinned4";
    EXPECT_EQ(it.GetImageIndex(), 4);
    EXPECT_EQ(it.GetSyncText(), "Not FTP-ed (pinned)");
}

TEST_F(FileItemTest, StoredTimeFormatAndParse) {
    const std::time_t t = MakeLocalTime(2008, 7, 5, 13, 4, 9);
    EXPECT_EQ(FormatStoredTime(t), "2008+7+5+13+4+9+");
    EXPECT_EQ(ParseStoredTime("2008+7+5+13+4+9+"), t);
    EXPECT_EQ(ParseStoredTime(""), MakeLocalTime(1970, 1, 1, 0, 0, 0));
    EXPECT_EQ(ParseStoredTime("2008+13+1+0+0+0+"), MakeLocalTime(2006, 1, 1, 0, 0, 0));
    EXPECT_EQ(ParseStoredTime("2008+7"), MakeLocalTime(2008, 1, 1, 0, 0, 0));
    EXPECT_EQ(ParseStoredTime("1969+1+1+0+0+0+"), MakeLocalTime(2006, 1, 1, 0, 0, 0));
    EXPECT_EQ(ParseStoredTime("garbage"), MakeLocalTime(1970, 1, 1, 0, 0, 0));
    EXPECT_EQ(ParseStoredTime("99999999999+1+1+0+0+0+"), MakeLocalTime(2006, 1, 1, 0, 0, 0));
    // A session file's reader gives the same moments, days repeated or not,
    // dates that do not exist and clock parts out of range included.
    CStoredTimeReader times;
    for (const char* text : {"2008+7+5+13+4+9+", "2008+7+5+0+0+0+", "2008+7+5+23+59+59+", "", "2008+13+1+0+0+0+",
                             "2008+7", "1969+1+1+0+0+0+", "garbage", "2008+2+30+12+0+0+", "2008+7+5+24+0+60+",
                             "2021+3+28+2+30+0+", "2021+10+31+2+30+0+", "2021+3+28+12+0+0+", "1901+12+13+0+0+0+"})
        EXPECT_EQ(times.Parse(text), ParseStoredTime(text)) << text;
}

TEST_F(FileItemTest, LocalAndSyncStatusOnRealFiles) {
    const std::string dir = tmp.dir() + "w/";
    CreateFolderPath(dir);
    CFileItem it = LocalItem(dir, "a.txt");
    EXPECT_EQ(it.GetLocalStatus(), "LocalMissing");
    WriteFile(dir + "a.txt", "x");
    SetMTime(dir + "a.txt", 1000000000);
    EXPECT_EQ(it.GetLocalStatus(), "LocalModified");
    it.IsFTPed = "Yes";
    EXPECT_EQ(it.GetSyncText(), "Modified");
    EXPECT_EQ(it.GetStatusText(), "*Local copy dirty. Ftped (ascii). Added from local. ");
    EXPECT_EQ(it.ClearLocalDirty(), 1);
    EXPECT_EQ(it.LocalModTime, 1000000000);
    EXPECT_EQ(it.GetLocalStatus(), "");
    EXPECT_EQ(it.GetSyncText(), "Synchronized");
    EXPECT_EQ(it.ClearLocalDirty(), 0);
    EXPECT_NE(it.GetModifiedTimeText().find("-2001 "), std::string::npos);
    ::unlink((dir + "a.txt").c_str());
    EXPECT_EQ(it.GetSyncText(), "Missing");
    EXPECT_EQ(it.GetModifiedTimeText(), "LocalMissing");

    // A fetched remote item whose local copy went away returns to "Not FTP-ed".
    CFileItem r = LocalItem(dir, "gone.c");
    r.FileType = "remote";
    EXPECT_EQ(r.GetLocalStatus(), "");
    r.IsFTPed = "Yes";
    EXPECT_EQ(r.GetLocalStatus(), "LocalMissing");
    EXPECT_EQ(r.ClearLocalDirty(), 1);
    EXPECT_EQ(r.GetSyncText(), "Not FTP-ed");

    CFileItem other = LocalItem(dir, "x");
    other.FileType = "odd";
    EXPECT_EQ(other.GetLocalStatus(), "");
    other.RefreshLocalTime();
    EXPECT_EQ(other.LocalModTime, DefaultItemTime());
}

// A transfer writes the file, and the user edits it within that second: the
// stored whole second cannot tell, the size and the sub-second time can.
TEST_F(FileItemTest, AnEditWithinTheSecondOfTheLastTransferIsSeen) {
    const std::string dir = tmp.dir() + "s/";
    CreateFolderPath(dir);
    const std::string path = dir + "page.html";
    const std::time_t second = 1700000000;
    auto write = [&](const std::string& text, long nsec) {
        WriteFile(path, text);
        const timespec times[2] = {{second, nsec}, {second, nsec}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    };
    write(std::string(27, 'a'), 100000000);
    CFileItem it = LocalItem(dir, "page.html");
    it.IsFTPed = "Yes";
    it.RefreshLocalTime();
    EXPECT_EQ(it.GetLocalStatus(), "");
    write(std::string(27, 'a') + "\nline added right after it\n", 100000000);  // 27 -> 53 bytes
    EXPECT_EQ(it.GetLocalStatus(), "LocalModified");
    EXPECT_EQ(it.GetSyncText(), "Modified");
    EXPECT_EQ(it.ClearLocalDirty(), 1);
    EXPECT_EQ(it.GetLocalStatus(), "");
    write(std::string(53, 'b'), 900000000);  // the same size, later in the second
    EXPECT_EQ(it.GetLocalStatus(), "LocalModified");
    // The stored time stays the whole second; read back, that is all there is.
    EXPECT_EQ(it.LocalModTime, second);
    CFileItem back = LocalItem(dir, "page.html");
    back.SetLocalTimeFromText(it.GetLocalTimeText());
    EXPECT_EQ(back.LocalModTime, second);
    EXPECT_EQ(back.GetLocalStatus(), "");
}

TEST_F(FileItemTest, RemoteStatusFromUnixListings) {
    CFileItem it("a.c");
    it.RemoteDir = "/home/u/";
    // The full path after a blank, as "ls -l /home/u/a.c" gives it.
    std::string status;
    it.UpdateRemoteStatus("-rw-r--r--   1 u  staff  12 Dec  3  2007 /home/u/a.c\r\n", status);
    EXPECT_EQ(status, "-dirty-");
    EXPECT_EQ(it.RemoteModTime, MakeLocalTime(2007, 12, 3, 0, 0, 0));
    it.UpdateRemoteStatus("-rw-r--r--   1 u  staff  12 Dec  3  2007 /home/u/a.c\r\n", status);
    EXPECT_EQ(status, " Ok");
    // The bare name, as a LIST of the folder gives it, among other entries.
    it.UpdateRemoteStatus("-rw-r--r-- 1 u g 1 Jan  1  2001 b.c\n"
                          "-rw-r--r-- 1 u g 1 Jun 12  2010 a.c\n"
                          "-rw-r--r-- 1 u g 1 Jan  1  2001 a.cpp\n",
                          status);
    EXPECT_EQ(status, "-dirty-");
    EXPECT_EQ(it.RemoteModTime, MakeLocalTime(2010, 6, 12, 0, 0, 0));
    // A link pointing at the file is not the file.
    it.UpdateRemoteStatus("lrwxrwxrwx 1 u g 1 Mar  1  2003 link -> a.c\n"
                          "-rw-r--r-- 1 u g 1 Jun 12  2010 a.c\n", status);
    EXPECT_EQ(it.RemoteModTime, MakeLocalTime(2010, 6, 12, 0, 0, 0));
    // Not there at all.
    it.UpdateRemoteStatus("-rw-r--r-- 1 u g 1 Jan  1  2001 xa.c\n", status);
    EXPECT_EQ(status, "-missing-");
    EXPECT_EQ(it.RemoteModTime, RemoteUnknownTime());
    // After the marker the next answer is "-not sure-".
    it.UpdateRemoteStatus("-rw-r--r-- 1 u g 1 Jun 12  2010 a.c\n", status);
    EXPECT_EQ(status, "-not sure-");
}

TEST_F(FileItemTest, RemoteClockDatesAndTheYearTurn) {
    CFileItem it("a.c");
    it.RemoteDir = "/h/";
    std::string status;
    // Yesterday with a clock: this year.
    std::time_t y = std::time(nullptr) - 86400;
    std::tm tm{};
    localtime_r(&y, &tm);
    char line[128];
    std::snprintf(line, sizeof line, "-rw-r--r-- 1 u g 1 %s %2d 10:15 a.c\n", ShortMonth(tm.tm_mon + 1).c_str(),
                  tm.tm_mday);
    it.UpdateRemoteStatus(line, status);
    EXPECT_EQ(it.RemoteModTime, MakeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, 10, 15, 0));
    // A clock date more than a day ahead lies in the previous year.
    std::time_t ahead = std::time(nullptr) + 10 * 86400;
    localtime_r(&ahead, &tm);
    std::snprintf(line, sizeof line, "-rw-r--r-- 1 u g 1 %s %d 08:00 /h/a.c\n", ShortMonth(tm.tm_mon + 1).c_str(),
                  tm.tm_mday);
    it.UpdateRemoteStatus(line, status);
    std::tm got{};
    localtime_r(&it.RemoteModTime, &got);
    EXPECT_EQ(got.tm_year + 1900, tm.tm_year + 1900 - 1);
    EXPECT_LE(got.tm_year + 1900, ThisYear());
}

TEST_F(FileItemTest, RemoteStatusFromVmsListings) {
    CFileItem it("LOGIN.COM");
    it.RemoteDir = "DKA0:[SYSTEM]";
    std::string status;
    const std::string listing =
        "Directory DKA0:[SYSTEM]\r\n\r\n"
        "OLDLOGIN.COM;1         2/3       1-JAN-2001 00:00:00.00  [SYSTEM]  (RWED,RWED,RE,)\r\n"
        "LOGIN.COM;3            4/6       5-JUN-2008 10:20:30.12  [SYSTEM]  (RWED,RWED,RE,)\r\n";
    it.UpdateRemoteStatus(listing, status);
    EXPECT_EQ(status, "-dirty-");
    EXPECT_EQ(it.RemoteModTime, MakeLocalTime(2008, 6, 5, 10, 20, 30));
    // Case does not matter; a name that is only part of another entry does.
    CFileItem lower("login.com");
    lower.RemoteDir = "[x]";
    lower.UpdateRemoteStatus(listing, status);
    EXPECT_EQ(lower.RemoteModTime, MakeLocalTime(2008, 6, 5, 10, 20, 30));
    CFileItem part("LOGIN.CO");
    part.RemoteDir = "[x]";
    part.UpdateRemoteStatus(listing, status);
    EXPECT_EQ(status, "-missing-");
}

TEST_F(FileItemTest, TypeAndIconTexts) {
    auto type = [](const char* name) { return CFileItem(name).GetTypeFromExtension(); };
    auto icon = [](const char* name) {
        CFileItem it(name);
        it.IsFTPed = "Yes";
        return it.GetImageIndex();
    };
    EXPECT_EQ(type("prog.c"), "C file");
    EXPECT_EQ(type("prog.c.bak"), "-(Unknown)-TBD");
    EXPECT_EQ(type("notes.txt.old"), "Text file");
    EXPECT_EQ(icon("notes.txt.old"), 0);
    EXPECT_EQ(icon("notes.TXT"), 22);
    EXPECT_EQ(type("X.CPP"), "C++ file");
    EXPECT_EQ(type("run.com"), "Com file");
    EXPECT_EQ(type("a.h"), "Header file");
    EXPECT_EQ(type("boot.s"), "Assembly file");
    EXPECT_EQ(icon("m.cxx"), 16);
    EXPECT_EQ(icon("m.c"), 18);
    EXPECT_EQ(icon("m.java"), 20);
    CFileItem both("x.txt");
    both.IsBatFile = both.IsBinaryFile = true;
    EXPECT_EQ(both.GetTypeFromExtension(), "~(Binary Batch file)~");
    both.IsFTPed = "Yes";
    EXPECT_EQ(both.GetImageIndex(), 12);
    both.IsPinned = "IsPinned";
    EXPECT_EQ(both.GetImageIndex(), 1);
}

TEST_F(FileItemTest, Reports) {
    CFileItem it("a.c");
    it.RemoteDir = "/r/";
    it.LocalDir = tmp.dir();
    it.RemHost = "h";
    it.RemUser = "u";
    it.FileType = "remote";
    EXPECT_EQ(it.GetShortReport(),
              "File:   a.c\r\nRemote: /r/\r\nLocal:  " + tmp.dir() +
                  "\r\nStatus: Normal. Never Ftped (ascii). Added from remote. \r\nHost:   h\r\nUser:   u");
    const std::string longReport = it.GetLongReport("UNIX");
    EXPECT_EQ(longReport.rfind(std::string(38, '_') + "\r\nFile:    \ta.c\r\n", 0), 0u);
    EXPECT_NE(longReport.find("H Type:  \tUNIX\r\n"), std::string::npos);
    EXPECT_EQ(longReport.substr(longReport.size() - 25), "R Time:  \t1970+1+1+0+0+0+");
}

TEST_F(FileItemTest, CreateCopyAndRepairLocalFiles) {
    std::string msg;
    CFileItem a = LocalItem(tmp.dir() + "sub/", "a.txt");
    EXPECT_EQ(a.CreateEmptyLocalFile(msg), 1);
    EXPECT_EQ(a.CreateEmptyLocalFile(msg), 0);
    EXPECT_EQ(msg, "File already exists.");
    WriteFile(a.GetLocalPath(), "one\r\ntwo\rthree\n");

    CFileItem b = LocalItem(tmp.dir() + "other/dir/", "b.txt");
    EXPECT_EQ(b.CopyFileWithCheck(a, msg), 1);
    EXPECT_EQ(ReadFile(b.GetLocalPath()), "one\r\ntwo\rthree\n");
    EXPECT_EQ(b.CopyFileWithCheck(a, msg), 0);
    EXPECT_EQ(msg, "File already exists.");
    EXPECT_EQ(a.CopyFileWithCheck(a, msg), 2);
    EXPECT_EQ(msg, "Same file name.");
    CFileItem missing = LocalItem(tmp.dir(), "none.txt");
    CFileItem c = LocalItem(tmp.dir(), "c.txt");
    EXPECT_EQ(c.CopyFileWithCheck(missing, msg), 2);
    EXPECT_EQ(msg, "Original file is missing.");
    // Names the shell would have mangled are copied as they are.
    CFileItem odd = LocalItem(tmp.dir(), "it's \"$(x)\".txt");
    EXPECT_EQ(odd.CopyFileWithCheck(a, msg), 2);  // '"' is not a valid path character
    CFileItem quote = LocalItem(tmp.dir(), "it's $(x).txt");
    EXPECT_EQ(quote.CopyFileWithCheck(a, msg), 1);
    EXPECT_TRUE(IsRegularFile(tmp.dir() + "it's $(x).txt"));

    EXPECT_TRUE(a.RepairLineBreaks());
    EXPECT_EQ(ReadFile(a.GetLocalPath()), "one\ntwothree\n");
}

TEST_F(FileItemTest, ReadFileTextIsVerbatimWhateverTrace) {
    WriteFile(tmp / "b.bin", std::string("a\r\nb\0c", 6));
    for (bool t : {false, true}) {
        g_bTrace = t;
        std::string text;
        ASSERT_TRUE(ReadFileText(tmp / "b.bin", text));
        EXPECT_EQ(text, std::string("a\r\nb\0c", 6));
    }
}

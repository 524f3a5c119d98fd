// The text buffer: browsing, and dumping to dated folders and loading back.
#include <gtest/gtest.h>

#include <filesystem>

#include "../support/TempDir.h"
#include "convert/TextBuffer.h"
#include "model/Globals.h"
#include "model/WorkArea.h"
#include "platform/Prompter.h"

namespace {

// Tuesday 5 March 2024, noon local time.
std::time_t March5() {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

class TextBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_TextBuffer.clear();
        g_nTextBufferIndex = -1;
        m_oldDir = g_strBufferTextDir;
        g_strBufferTextDir = tmp.dir() + "User/BufferText/";
    }
    void TearDown() override {
        g_TextBuffer.clear();
        g_nTextBufferIndex = -1;
        g_strBufferTextDir = m_oldDir;
    }
    // A chooser that takes every folder offered, remembering the offer.
    BufferFolderChooser TakeAll() {
        return [this](std::vector<std::string>& folders) {
            offered = folders;
            return folders;
        };
    }

    TempDir tmp;
    RecordingPrompter prompter;
    ScopedPrompter scoped{prompter};
    std::vector<std::string> offered;
    std::string m_oldDir;
};

TEST_F(TextBufferTest, BrowsingKeepsTheIndexInsideTheBuffer) {
    EXPECT_EQ(TextBufferScroll(-1).log, "Text Buffer: (No buffer)");
    EXPECT_EQ(TextBufferShowFirst().log, "Text Buffer: (No buffer)");
    EXPECT_TRUE(TextBufferRemoveCurrent().log.empty());

    EXPECT_EQ(TextBufferAdd("one").log, "Text Buffer: 1 (added)");
    EXPECT_EQ(TextBufferAdd("two").log, "Text Buffer: 2 (added)");
    EXPECT_EQ(TextBufferAdd("three").log, "Text Buffer: 3 (added)");
    EXPECT_EQ(g_nTextBufferIndex, 2);

    TextBufferStep s = TextBufferScroll(+1);  // already at the last item
    EXPECT_EQ(s.log, "Text Buffer: 3 (displayed)");
    EXPECT_EQ(s.show, "three");
    TextBufferScroll(-1);
    TextBufferScroll(-1);
    s = TextBufferScroll(-1);  // scrolling left at the first item stays there
    EXPECT_EQ(s.log, "Text Buffer: 1 (displayed)");
    EXPECT_EQ(s.show, "one");
    EXPECT_EQ(g_nTextBufferIndex, 0);

    // Removing the first keeps the place; removing the last moves back.
    s = TextBufferRemoveCurrent();
    EXPECT_EQ(s.log, "Text Buffer: 1 (removed)");
    EXPECT_EQ(s.show, "two");
    TextBufferScroll(+1);
    s = TextBufferRemoveCurrent();
    EXPECT_EQ(s.log, "Text Buffer: 2 (removed)");
    EXPECT_EQ(s.show, "two");
    EXPECT_EQ(g_nTextBufferIndex, 0);
    s = TextBufferRemoveCurrent();
    EXPECT_EQ(s.show, "");  // the window is emptied
    EXPECT_EQ(g_nTextBufferIndex, -1);
    EXPECT_TRUE(g_TextBuffer.empty());
}

TEST_F(TextBufferTest, FolderStemCarriesDateAndWeekday) {
    EXPECT_EQ(MakeBufferFolderStem(March5()), "2024-03-05-Tuesday-");
}

TEST_F(TextBufferTest, DumpsOfOneDayGoIntoNumberedFoldersAndLoadBackInOrder) {
    g_TextBuffer = {"a\r\nb", "second", "lone\rCR\r", "\r"};
    const std::string first = DumpTextBufferToDisk(true, March5());
    EXPECT_EQ(first, g_strBufferTextDir + "2024-03-05-Tuesday-01/");
    EXPECT_EQ(ReadFile(first + "Text-001.txt"), "a\nb");  // no doubled CR
    EXPECT_EQ(ReadFile(first + "Text-002.txt"), "second");
    EXPECT_EQ(ReadFile(first + "Text-003.txt"), "lone\rCR\r");  // a lone CR is kept
    EXPECT_EQ(ReadFile(first + "Text-004.txt"), "\r");
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0], "Clipboard saved to hard disk in 4 file(s).\r\nLook into:\r\n\r\n     " +
                                          first + "\r\n\r\narea for the saved files.");

    // Twelve items so that name order and number order must agree.
    g_TextBuffer.clear();
    for (int i = 1; i <= 12; ++i) g_TextBuffer.push_back("item " + std::to_string(i));
    const std::string second = DumpTextBufferToDisk(false, March5());
    EXPECT_EQ(second, g_strBufferTextDir + "2024-03-05-Tuesday-02/");
    EXPECT_EQ(prompter.Messages().size(), 1u);  // quiet without the flag
    WriteFile(second + "Text-013.txt", "");    // an empty text comes back as one

    g_TextBuffer = {"kept"};
    EXPECT_EQ(LoadTextBufferFromDisk(TakeAll()), 17);
    EXPECT_EQ(offered, (std::vector<std::string>{first, second}));
    ASSERT_EQ(g_TextBuffer.size(), 18u);
    EXPECT_EQ(g_TextBuffer[0], "kept");
    EXPECT_EQ(g_TextBuffer[1], "a\r\nb");  // back as a window text
    EXPECT_EQ(g_TextBuffer[2], "second");
    EXPECT_EQ(g_TextBuffer[3], "lone\rCR\r");
    EXPECT_EQ(g_TextBuffer[4], "\r");
    for (int i = 1; i <= 12; ++i) EXPECT_EQ(g_TextBuffer[size_t(4 + i)], "item " + std::to_string(i));
    EXPECT_EQ(g_TextBuffer[17], "");
    // The load leaves the index alone; the command shows the first item.
    EXPECT_EQ(TextBufferShowFirst().show, "kept");
}

TEST_F(TextBufferTest, NothingToDumpOrLoad) {
    EXPECT_EQ(DumpTextBufferToDisk(false, March5()), "");
    EXPECT_TRUE(prompter.entries.empty());  // closing with an empty buffer is silent
    EXPECT_FALSE(std::filesystem::exists(g_strBufferTextDir));
    EXPECT_EQ(DumpTextBufferToDisk(true, March5()), "");
    EXPECT_EQ(prompter.Messages().back(), "Empty clipboard. Nothing to be saved into disk...");

    EXPECT_EQ(LoadTextBufferFromDisk(TakeAll()), 0);
    EXPECT_EQ(prompter.Messages().back(), "No clipboard saved in the past.\r\nNothing to load...");
    EXPECT_TRUE(offered.empty());

    // A cancelled choice loads nothing; files beside the folders are no choice.
    std::filesystem::create_directories(g_strBufferTextDir + "2024-03-05-Tuesday-01");
    WriteFile(g_strBufferTextDir + "2024-03-05-Tuesday-01/Text-001.txt", "x");
    WriteFile(g_strBufferTextDir + "stray.txt", "y");
    EXPECT_EQ(LoadTextBufferFromDisk([&](std::vector<std::string>& f) {
                  offered = f;
                  return std::vector<std::string>{};
              }),
              0);
    EXPECT_EQ(offered.size(), 1u);
    EXPECT_TRUE(g_TextBuffer.empty());
}

TEST_F(TextBufferTest, AFolderThatCannotBeMadeIsReportedEvenWhenQuiet) {
    // A plain file stands where the buffer folder's parent should be.
    WriteFile(tmp / "User", "not a folder");
    g_TextBuffer = {"x"};
    EXPECT_EQ(DumpTextBufferToDisk(false, March5()), "");
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0], "Failed to create directory.");
}

}  // namespace

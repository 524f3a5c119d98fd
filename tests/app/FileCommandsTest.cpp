#include <QAction>
#include <QTreeWidget>
#include <filesystem>

#include "app/FileCommands.h"
#include "app/ListViews.h"
#include "app/MainFrame.h"
#include "app/MainPresenter.h"
#include "app/MessageWindowBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "filelist/OutputNames.h"
#include "support/FileAccess.h"
#include "UiFixture.h"

namespace {

namespace fs = std::filesystem;

// Records the start text of every prompt as well.
class StartTextPrompter : public RecordingPrompter {
public:
    std::vector<std::string> startTexts;
    std::optional<std::string> AskText(const std::string& title, const std::string& prompt,
                                       const std::string& initial) override {
        startTexts.push_back(initial);
        return RecordingPrompter::AskText(title, prompt, initial);
    }
};

class FileCommandsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPrompter(&ask);
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->Timer().stop();  // ticks are driven by the tests that need them
        dir = Files() + "/";
        ask.entries.clear();
    }
    void TearDown() override {
        SetTextWindows(nullptr, nullptr);
        frame.reset();
        UiTest::TearDown();
    }
    // Selects rows of the file-item list as a click would.
    void Select(const std::vector<int>& rows) {
        QTreeWidget* list = frame->FileList();
        list->clearSelection();
        for (int r : rows) list->topLevelItem(r)->setSelected(true);
    }
    std::vector<int> SelectedRows() { return frame->GetSelectedListRows(frame->FileList()); }
    std::string RowText(int r) { return frame->FileList()->topLevelItem(r)->text(0).toStdString(); }
    int Rows() { return frame->FileList()->topLevelItemCount(); }
    CFileItem Item(int f) { return frame->Data().GetFileItem(0, 0, 0, f); }
    std::vector<int> Stored() { return frame->Data().GetSelection(0, 0, 0); }
    // The entries of one kind ("text", "ask", "message"), in order.
    std::vector<RecordingPrompter::Entry> Of(const std::string& kind) {
        std::vector<RecordingPrompter::Entry> out;
        for (const auto& e : ask.entries)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    void Reply(const std::string& text) { ask.texts.push_back(text); }
    void Run(int id) { frame->ExecuteCommand(id); }
    std::size_t FilesOnDisk() {
        return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    StartTextPrompter ask;
    std::unique_ptr<CMainFrame> frame;
    std::string dir;
};

TEST_F(FileCommandsTest, NewFileMakesAnEmptyFileAndSelectsOnlyItsRow) {
    Select({1, 3});
    Reply("fresh.txt");
    Run(32530);
    ASSERT_EQ(Of("text").size(), 1u);
    EXPECT_EQ(Of("text")[0].text, "New File|Enter new filename:");
    EXPECT_EQ(ask.startTexts[0], "New-about.txt");
    EXPECT_TRUE(fs::is_regular_file(dir + "fresh.txt"));
    EXPECT_EQ(fs::file_size(dir + "fresh.txt"), 0u);
    EXPECT_EQ(Item(2).FileName, "fresh.txt");
    EXPECT_EQ(Item(2).LocalDir, dir);
    EXPECT_EQ(Rows(), 9);
    EXPECT_EQ(RowText(2), "fresh.txt");
    EXPECT_EQ(RowText(3), "main.c");
    EXPECT_EQ(SelectedRows(), std::vector<int>{2});
    EXPECT_EQ(Stored(), std::vector<int>{2});

    // With nothing selected the proposal is "NewFile.txt" and the row goes last.
    Select({});
    Reply("NewFile.txt");
    Run(32530);
    EXPECT_EQ(ask.startTexts[1], "NewFile.txt");
    EXPECT_EQ(RowText(9), "NewFile.txt");
    EXPECT_EQ(Stored(), std::vector<int>{9});

    // An existing file is added as it is, never emptied, without a message.
    WriteFile(dir + "kept.txt", "keep me");
    Reply("kept.txt");
    Run(32530);
    EXPECT_EQ(ReadFile(dir + "kept.txt"), "keep me");
    EXPECT_EQ(Item(10).FileName, "kept.txt");
    EXPECT_TRUE(ask.Messages().empty());
}

TEST_F(FileCommandsTest, NewFileRefusesDuplicatesAndNamesWithLineBreaks) {
    Select({0});
    Reply("notes.txt");  // already an item of the basket
    Run(32530);
    ASSERT_EQ(ask.Messages().size(), 1u);
    EXPECT_EQ(ask.Messages()[0], "File: notes.txt already exists in the list.");
    EXPECT_EQ(Of("message").back().icon, MsgIcon::Stop);
    EXPECT_EQ(ReadFile(dir + "notes.txt"), "text\n");

    const std::size_t before = FilesOnDisk();
    for (const char* bad : {"bad\r\nname.txt", "a|b.txt", "sub/..", "   "}) {
        Reply(bad);
        Run(32530);
        EXPECT_EQ(ask.Messages().back(), kInvalidNamesMessage) << bad;
    }
    EXPECT_EQ(FilesOnDisk(), before);
    EXPECT_EQ(Rows(), 8);

    Run(32530);  // cancelled
    EXPECT_EQ(Rows(), 8);
}

TEST_F(FileCommandsTest, DuplicateFileCopiesBesideTheSelectedRowAndNeverOverwrites) {
    WriteFile(dir + "index.html", "<html/>");
    Select({0, 2});
    Reply("copy.html");
    Run(32527);
    EXPECT_EQ(Of("text")[0].text, "New File|Enter new filename:");
    EXPECT_EQ(ask.startTexts[0], "Dup-index.html");
    EXPECT_EQ(ReadFile(dir + "copy.html"), "<html/>");
    EXPECT_EQ(Item(1).FileName, "copy.html");
    EXPECT_EQ(RowText(1), "copy.html");
    EXPECT_EQ(RowText(3), "main.c");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(Stored(), (std::vector<int>{0, 1, 3}));

    WriteFile(dir + "about.txt", "mine");
    Select({0});
    Reply("about.txt");
    Run(32527);
    EXPECT_EQ(ask.Messages().back(), "File already exists.");
    EXPECT_EQ(Of("message").back().icon, MsgIcon::Stop);
    EXPECT_EQ(ReadFile(dir + "about.txt"), "mine");
    EXPECT_EQ(Rows(), 9);

    Reply("two\nlines");
    Run(32527);
    EXPECT_EQ(ask.Messages().back(), kInvalidNamesMessage);
    EXPECT_FALSE(fs::exists(dir + "two\nlines"));
}

TEST_F(FileCommandsTest, RenameFileRenamesOnDiskAndInTheRow) {
    WriteFile(dir + "about.txt", "about");
    Select({1});
    Reply("readme.md");
    Run(32532);
    EXPECT_EQ(Of("text")[0].text, "Rename File|Enter new filename:");
    EXPECT_EQ(ask.startTexts[0], "about.txt");
    EXPECT_FALSE(fs::exists(dir + "about.txt"));
    EXPECT_EQ(ReadFile(dir + "readme.md"), "about");
    EXPECT_EQ(Item(1).FileName, "readme.md");
    EXPECT_EQ(RowText(1), "readme.md");
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});

    // Onto an existing file: refused, both files kept.
    Reply("main.c");
    Run(32532);
    EXPECT_EQ(ask.Messages().back().rfind("Failed to rename the file. ", 0), 0u);
    EXPECT_EQ(ReadFile(dir + "readme.md"), "about");
    EXPECT_EQ(ReadFile(dir + "main.c"), "text\n");
    EXPECT_EQ(Item(1).FileName, "readme.md");

    // A folder typed where a file name belongs is refused, not followed.
    for (const char* bad : {"../escaped.md", "sub/x.md", "..", "a\r\nb"}) {
        Reply(bad);
        Run(32532);
        EXPECT_EQ(ask.Messages().back(), "Failed to rename the file. Invalid file name.") << bad;
    }
    EXPECT_FALSE(fs::exists(tmp / "escaped.md"));
    EXPECT_EQ(ReadFile(dir + "readme.md"), "about");
}

TEST_F(FileCommandsTest, DeleteFileAsksThenMarksTheRowsAndListsFailures) {
    fs::remove(dir + "main.c");  // already missing: nothing done, nothing said
    Select({0, 1, 2});
    Run(32526);
    ASSERT_EQ(ask.Questions().size(), 1u);
    EXPECT_EQ(ask.Questions()[0],
              "Are you sure you want to delete the selected file(s)\r\n"
              "from your local disk permanently?\r\n\r\n"
              "Select \"Yes\" to continue, and \"No\", if you are not sure.");
    EXPECT_EQ(Of("ask")[0].icon, MsgIcon::Stop);
    EXPECT_TRUE(fs::exists(dir + "index.html"));  // "No" keeps everything

    ask.answers = {Answer::Yes};
    Run(32526);
    EXPECT_FALSE(fs::exists(dir + "index.html"));
    EXPECT_FALSE(fs::exists(dir + "about.txt"));
    EXPECT_EQ(RowText(0), "~index.html");
    EXPECT_EQ(RowText(1), "~about.txt");
    EXPECT_EQ(frame->Presenter().FileRows()[0].image, 26);
    EXPECT_EQ(frame->Data().GetFileItemCount(0, 0, 0), 8);  // the items stay
    EXPECT_TRUE(ask.Messages().empty());

    // Files that cannot be deleted are listed.
    Select({3, 4});
    ask.answers = {Answer::Yes};
    ::chmod(dir.c_str(), 0555);
    {
        ScopedFilePermissionsApply asUser;
        if (!asUser.ok()) {
            ::chmod(dir.c_str(), 0755);
            GTEST_SKIP() << "file permissions cannot be applied to this process";
        }
        Run(32526);
    }
    ::chmod(dir.c_str(), 0755);
    ASSERT_EQ(ask.Messages().size(), 1u);
    EXPECT_EQ(ask.Messages()[0], "Failed to delete the following files:\r\n    util.h\r\n    App.java\r\n");
    EXPECT_TRUE(fs::exists(dir + "util.h"));
    EXPECT_EQ(RowText(3), "util.h");
}

TEST_F(FileCommandsTest, CommandsRefuseWhileAWorkerRuns) {
    Select({0});
    g_bFtpIdle = false;
    for (int id : {32530, 32527, 32532, 32526}) {
        Run(id);
        EXPECT_EQ(ask.Messages().back(), kFtpBusyRefusal) << id;
        EXPECT_EQ(Of("message").back().icon, MsgIcon::Stop);
    }
    frame->FileCommands().RenameSelectedFiles({dir + "x.html"});
    frame->FileCommands().DuplicateFilesToNewNames({dir + "x.html"});
    EXPECT_EQ(ask.Messages().size(), 6u);
    EXPECT_TRUE(ask.Questions().empty());
    EXPECT_TRUE(ask.startTexts.empty());
    g_bFtpIdle = true;

    g_bAddFilesIdle = false;
    Run(32530);
    Run(32526);
    EXPECT_TRUE(ask.startTexts.empty());
    EXPECT_TRUE(ask.Questions().empty());
    EXPECT_NE(frame->MessageWindow().GetText().find("Thread on session...[x]"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir + "index.html"));
}

TEST_F(FileCommandsTest, NewMultipleFilesNeedsTheOutputWindow) {
    SetTextWindows(nullptr, nullptr);  // the WorkPad's own boxes withdrawn
    frame->FileCommands().RefreshCommandStates();
    EXPECT_FALSE(frame->IsCommandEnabled(32531));
    CLineTextBox output(2);
    SetTextWindows(nullptr, &output);
    frame->FileCommands().RefreshCommandStates();
    ASSERT_TRUE(frame->IsCommandEnabled(32531));

    output.SetWindowTextFromString("one.txt\r\ntwo.txt\r\n");
    ask.answers = {Answer::Yes};
    Run(32531);
    EXPECT_EQ(ask.Messages().back(), kInvalidNamesMessage);  // the last line is empty

    WriteFile(dir + "two.txt", "already here");
    output.SetWindowTextFromString("one.txt\r\ntwo.txt\r\nnotes.txt");
    Select({0});
    Run(32531);  // answered No
    EXPECT_FALSE(fs::exists(dir + "one.txt"));
    ask.answers = {Answer::Yes};
    Run(32531);
    EXPECT_EQ(fs::file_size(dir + "one.txt"), 0u);
    EXPECT_EQ(ReadFile(dir + "two.txt"), "already here");
    EXPECT_EQ(RowText(1), "one.txt");
    EXPECT_EQ(RowText(2), "two.txt");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{1, 2}));
    EXPECT_EQ(ask.Messages().back(),
              "Some of the files could not be added. They already exist in the list:\r\n    notes.txt\r\n");

    SetTextWindows(nullptr, nullptr);
    frame->FileCommands().RefreshCommandStates();
    EXPECT_FALSE(frame->IsCommandEnabled(32531));
}

TEST_F(FileCommandsTest, DialogEntriesRenameAndDuplicateTheSelection) {
    WriteFile(dir + "index.html", "first");
    WriteFile(dir + "about.txt", "second");
    Select({0, 1});
    frame->FileCommands().RenameSelectedFiles({"about.txt", dir + "index.html"});
    EXPECT_EQ(ReadFile(dir + "about.txt"), "first");
    EXPECT_EQ(ReadFile(dir + "index.html"), "second");
    EXPECT_EQ(RowText(0), "about.txt");
    EXPECT_EQ(RowText(1), "index.html");
    EXPECT_EQ(Item(0).FileName, "about.txt");
    EXPECT_TRUE(ask.Messages().empty());

    frame->FileCommands().DuplicateFilesToNewNames({dir + "c1.txt", dir + "c2.txt"});
    EXPECT_EQ(ReadFile(dir + "c1.txt"), "first");
    EXPECT_EQ(ReadFile(dir + "c2.txt"), "second");
    EXPECT_EQ(RowText(2), "c1.txt");
    EXPECT_EQ(RowText(3), "c2.txt");
    EXPECT_EQ(SelectedRows(), (std::vector<int>{2, 3}));
    EXPECT_EQ(frame->FileCommands().SelectedItems().size(), 2u);
}

}  // namespace

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "app/PasteGuard.h"
#include <QTreeWidget>

#include "app/BannerQuips.h"
#include "widgets/DialogPlacement.h"
#include "widgets/DialogRules.h"
#include "app/DockableCtrl.h"
#include "app/DropFileList.h"
#include "widgets/HyperLink.h"
#include "widgets/KeyMapping.h"
#include "app/PaneControlStatusBar.h"
#include "app/MainFrame.h"
#include "widgets/SharedDialogs.h"
#include "app/SplitterBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "model/CommandTable.h"
#include "UiFixture.h"

using SharedControls = UiTest;

TEST(TextRules, LinesCaretAndLineBreaks) {
    EXPECT_EQ(ToCrLf("a\nb\r\nc"), "a\r\nb\r\nc");
    EXPECT_EQ(FromCrLf("a\r\nb\r\n"), "a\nb\n");
    EXPECT_EQ(GetFirstLineOf("one\r\ntwo\r\nthree"), "one");
    EXPECT_EQ(GetFirstLineOf("only"), "only");
    EXPECT_EQ(GetSecondLineOf("one\r\ntwo\r\nthree"), "two");
    EXPECT_EQ(GetSecondLineOf("one\r\ntwo"), "two");
    EXPECT_EQ(GetSecondLineOf("only"), "");
    EXPECT_EQ(CaretPositionText("abc", 0), " Ln 1, Col 1");
    EXPECT_EQ(CaretPositionText("ab\r\ncd", 5), " Ln 2, Col 2");
}

TEST(DialogRules, PromptTextByBrowseMode) {
    EXPECT_FALSE(NormalisePromptText("", 0, false));
    EXPECT_EQ(NormalisePromptText("", 0, true), "");
    EXPECT_FALSE(NormalisePromptText("", 2, true));
    EXPECT_EQ(NormalisePromptText("/home/u/dir", 2, true), "/home/u/dir/");
    EXPECT_EQ(NormalisePromptText("/home/u/dir/", 2, true), "/home/u/dir/");
    EXPECT_EQ(NormalisePromptText("/var/www", 1, true), "/var/www/");
    EXPECT_EQ(NormalisePromptText("plain", 1, true), "plain");
    EXPECT_FALSE(NormalisePromptText("DKA0:[USER", 1, true));
    EXPECT_EQ(NormalisePromptText("DKA0:[USER]", 1, true), "DKA0:[USER]");
    EXPECT_EQ(NormalisePromptText("a/b", 3, true), "a/b");
}

TEST(DialogRules, MessageLayoutLinkTextsAndOpenCommand) {
    EXPECT_EQ(MessageTextLayout("a\nb\nc").height + 1, 40);  // the box is one pixel taller
    EXPECT_EQ(MessageTextLayout("abcd").width, int(4 * 7.1 + 15));
    EXPECT_EQ(MessageTextLayout(std::string(200, 'x') + "\n").width, 800);
    EXPECT_EQ(MessageTextLayout(std::string(200, 'x')).width, int(200 * 7.1 + 15));
    EXPECT_EQ(HyperLinkErrorText(31),
              "Unable to open hyperlink:\n\nThere is no application associated\nwith the given filename extension.");
    EXPECT_EQ(HyperLinkErrorText(99), "Unable to open hyperlink:\n\nUnknown Error (99) occurred.");
    EXPECT_EQ(BuildOpenCommand("browser \"%1\" -x", "http://a"), "browser  http://a");
    EXPECT_EQ(BuildOpenCommand("browser %1", "http://a"), "browser  http://a");
    EXPECT_EQ(BuildOpenCommand("browser", "http://a"), "browser http://a");
}

TEST_F(SharedControls, FolderDeletionRemovesExactlyTheChosenFolder) {
    const std::string keep = tmp / "keep";
    const std::string gone = tmp / "with blank";
    std::filesystem::create_directories(keep);
    std::filesystem::create_directories(gone + "/sub");
    WriteFile(gone + "/sub/f.txt", "x");
    std::string why;
    EXPECT_TRUE(DeleteFolderTree(gone, &why)) << why;
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_TRUE(std::filesystem::exists(keep));

    EXPECT_FALSE(IsSafeFolderToDelete(""));
    EXPECT_FALSE(IsSafeFolderToDelete("   "));
    EXPECT_FALSE(IsSafeFolderToDelete("/"));
    EXPECT_FALSE(IsSafeFolderToDelete("//"));
    EXPECT_FALSE(IsSafeFolderToDelete("relative/dir"));
    EXPECT_FALSE(IsSafeFolderToDelete(keep + "/../keep"));
    EXPECT_FALSE(IsSafeFolderToDelete(std::getenv("HOME")));
    EXPECT_FALSE(IsSafeFolderToDelete(std::string(std::getenv("HOME")) + "/"));
    EXPECT_FALSE(IsSafeFolderToDelete(Area()));          // the work-area root
    EXPECT_FALSE(IsSafeFolderToDelete(tmp.path()));       // an ancestor of it
    EXPECT_TRUE(IsSafeFolderToDelete(Area() + "/QVL-WorkFiles/old"));
    EXPECT_FALSE(DeleteFolderTree(tmp / "missing"));
}

TEST_F(SharedControls, SelectDialogDeletesChosenSavedFolders) {
    std::vector<std::string> folders = {tmp / "a", tmp / "b", "/", ""};
    std::filesystem::create_directories(tmp / "a");
    std::filesystem::create_directories(tmp / "b");
    CSelectDlg dlg(&folders);
    ASSERT_EQ(dlg.List()->topLevelItemCount(), 4);
    EXPECT_EQ(dlg.List()->topLevelItem(0)->text(0), "a");
    EXPECT_TRUE(dlg.findChild<QPushButton*>("1589")->isVisibleTo(&dlg));
    dlg.List()->topLevelItem(1)->setSelected(true);
    dlg.List()->topLevelItem(2)->setSelected(true);
    prompter.answers = {Answer::Yes};
    dlg.OnDelete();
    EXPECT_FALSE(std::filesystem::exists(tmp / "b"));
    EXPECT_TRUE(std::filesystem::exists(tmp / "a"));
    // "/" is refused and stays listed.
    EXPECT_EQ(folders, (std::vector<std::string>{tmp / "a", "/", ""}));
    EXPECT_EQ(dlg.List()->topLevelItemCount(), 3);

    SelectSpec layout;
    layout.columns = {{"Baskets", 0.85}};
    layout.rows = {{{"one"}, 0}, {{"two"}, 0}};
    CSelectDlg baskets(3, layout);
    EXPECT_FALSE(baskets.findChild<QPushButton*>("1589")->isVisibleTo(&baskets));
    baskets.OnSelectAll();
    baskets.accept();
    EXPECT_EQ(baskets.Selected(), (std::vector<int>{0, 1}));
}

TEST_F(SharedControls, TextPromptRefusesEmptyAndAppendsTheFolderSlash) {
    CTextPromptDlg empty("New Basket", "Enter Basket name:");
    empty.open();
    empty.accept();
    EXPECT_TRUE(empty.isVisible());  // OK on an empty text does nothing
    // A name is one line: a pasted text's line breaks become blanks, the
    // one that ends it goes.
    CPasteGuard guard;
    qApp->installEventFilter(&guard);
    QApplication::clipboard()->setText("Do\r\ncs\n");
    QTest::keyClick(empty.Edit(), Qt::Key_V, Qt::ControlModifier);
    qApp->removeEventFilter(&guard);
    empty.accept();
    EXPECT_EQ(empty.result(), QDialog::Accepted);
    EXPECT_EQ(empty.Text(), "Do cs");
    EXPECT_EQ(empty.findChild<QLabel*>("1903")->text(), "Enter Basket name:");
    EXPECT_FALSE(empty.BrowseButton()->isVisibleTo(&empty));

    CTextPromptDlg folder("Folder", "Enter folder:", "/srv/data", 0, true, 2, "/srv");
    // The chosen folder is taken as it is, a line break in its name too.
    CTextPromptDlg::s_pickerOverride = [](int mode) { return mode == 2 ? QString("/picked\nx") : QString(); };
    folder.OnBrowse();
    EXPECT_EQ(folder.Edit()->text(), "/picked\nx");
    CTextPromptDlg::s_pickerOverride = nullptr;
    folder.accept();
    EXPECT_EQ(folder.Text(), "/picked\nx/");

    // Mode 1 browses the current connection's folders and ends the answer with "/".
    CProgramData data;
    CProgramData* before = g_pProgramData;
    g_pProgramData = &data;
    std::string asked;
    SetRemoteBrowser([&](const std::string& pattern, CHost& account, std::vector<RemoteFileChoice>&,
                         std::vector<RemoteFolderChoice>&) {
        asked = pattern;
        account.m_strLastFolder = "/home/alice/www";
        return true;
    });
    CTextPromptDlg remote("Remote", "Enter remote folder:", "", 0, true, 1, "");
    remote.OnBrowse();
    SetRemoteBrowser(nullptr);
    g_pProgramData = before;
    EXPECT_EQ(asked, "*.DIR");
    EXPECT_EQ(remote.Edit()->text(), "/home/alice/www");
    remote.accept();
    EXPECT_EQ(remote.Text(), "/home/alice/www/");
}

TEST(SharedRules, DropBlockPanesBannerAndSplitterRange) {
    CDropFileList one;
    one.Add("a");
    one.BuildBuffer();
    ASSERT_EQ(one.GetBufferSize(), 32u);
    EXPECT_EQ(one.GetBuffer()[0], 20);
    EXPECT_EQ(one.GetBuffer().substr(20, 2), std::string("a\0", 2));
    EXPECT_EQ(one.GetBuffer().substr(1, 19), std::string(19, '\0'));
    CDropFileList two;
    two.Add("/tmp/x y");
    EXPECT_EQ(two.ToUriList(), "file:///tmp/x%20y\r\n");

    CPaneModel panes;
    EXPECT_TRUE(panes.AddIndicator(0, 0));
    EXPECT_TRUE(panes.AddIndicator(7, 1));  // at the count: appended
    EXPECT_FALSE(panes.AddIndicator(8, 3));
    EXPECT_FALSE(panes.AddIndicator(8, -1));
    EXPECT_FALSE(panes.AddIndicator(7, 0));  // id in use
    EXPECT_FALSE(panes.AddPaneControl(nullptr, 9, false));
    EXPECT_TRUE(panes.RemoveIndicator(7));
    EXPECT_FALSE(panes.RemoveIndicator(0));  // the only pane
    PaneSettings ps;
    EXPECT_FALSE(panes.GetPaneInfoEx(1, ps));

    int seq = 0;
    CBannerShow show([&] { return seq++ * 7919; });
    for (int i = 0; i < 10; ++i) {
        BannerStep s = show.Next();
        if (i == 1) EXPECT_EQ(s.quip, 0);
        EXPECT_LT(std::abs(s.dx), 150);
        EXPECT_LT(std::abs(s.dy), 150);
        for (int c : s.dark) EXPECT_TRUE(c >= 25 && c <= 149);
        for (int c : s.light) EXPECT_TRUE(c >= 125 && c <= 249);
    }

    SplitterRange r = ComputeSplitterRange(0, 400, 10, 10, {50}, {300});
    EXPECT_EQ(r.low, 60);
    EXPECT_EQ(r.high, 290);
    EXPECT_FALSE(ComputeSplitterRange(0, 100, 10, 10, {80}, {40}).Usable());
    EXPECT_EQ(BarSizeSection("QuorvellianToolbarState-1.0.735.0", 2033),
              "QuorvellianToolbarState-1.0.735.0-SCBar-2033");
    EXPECT_EQ(AccelToSequence(kKeyVirt | kKeyControl | kKeyShift, vk::F5), QKeySequence("Ctrl+Shift+F5"));
    EXPECT_EQ(AccelToSequence(kKeyVirt | kKeyAlt, vk::Back), QKeySequence("Alt+Backspace"));
    EXPECT_EQ(QtKeyToVirtual(Qt::Key_F12), vk::F12);
    // The number pad's keys are not the main row's.
    EXPECT_EQ(AccelToSequence(kKeyVirt | kKeyControl, 0x61), QKeySequence(Qt::ControlModifier | Qt::KeypadModifier | Qt::Key_1));
    EXPECT_NE(AccelToSequence(kKeyVirt | kKeyControl, 0x61), AccelToSequence(kKeyVirt | kKeyControl, '1'));
    EXPECT_EQ(AccelToSequence(kKeyVirt, 0x6B), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
}

TEST_F(SharedControls, SplitterBarMovesItsNeighboursAndReports) {
    QWidget dlg;
    dlg.resize(400, 200);
    QWidget left(&dlg), right(&dlg);
    left.setGeometry(10, 10, 180, 100);
    right.setGeometry(210, 10, 180, 100);
    CVertSplitterBar bar(&dlg);
    bar.setObjectName("1500");
    bar.setGeometry(194, 10, 12, 100);
    bar.Create(&dlg);
    bar.AddLeftControl(&left);
    bar.AddRightControl(&right);
    QSignalSpy spy(&bar, &CSplitterBarBase::moved);
    bar.MoveBy(40);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 40);
    EXPECT_EQ(spy[0][1].toInt(), 1500);
    EXPECT_EQ(left.geometry().right(), bar.geometry().left() - 4);
    EXPECT_EQ(right.geometry().left(), bar.geometry().right() + 3);
    bar.MoveBy(0);
    EXPECT_EQ(spy.count(), 1);  // no move, no report
    // A click without a move sends nothing.
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(SharedControls, HyperLinkOpensItsTextAndReportsFailures) {
    CHyperLink link("https://example.org/");
    EXPECT_EQ(link.GetURL(), "https://example.org/");
    QString opened;
    CHyperLink::s_opener = [&](const QString& u) {
        opened = u;
        return true;
    };
    link.Click();
    EXPECT_EQ(opened, "https://example.org/");
    EXPECT_TRUE(link.GetVisited());
    CHyperLink::s_opener = [](const QString&) { return false; };
    CHyperLink other("https://x.invalid/");
    other.Click();
    EXPECT_FALSE(other.GetVisited());
    EXPECT_EQ(prompter.Messages().back(), HyperLinkErrorText(31));
    other.SetUsageType(9);
    other.Click();
    EXPECT_EQ(prompter.Messages().back(), "No usage type set. Code error.");
    CHyperLink::s_opener = nullptr;
    other.SetUnderline(1);
    EXPECT_TRUE(other.font().underline());
}

TEST_F(SharedControls, TextBoxesDropsAndTheTextWindows) {
    CLineTextBox input(3), output(4);
    SetTextWindows(&input, &output);
    input.SetWindowTextFromString("Input Text");
    g_bInputShowsTitle = true;
    EXPECT_EQ(GetInputWindowText(), "Input Text");  // read before any click: kept
    EXPECT_FALSE(g_bInputShowsTitle);
    SetOutputWindowText("a\nb");
    EXPECT_EQ(GetOutputWindowText(), "a\r\nb");
    EXPECT_EQ(output.GetSecondLine(), "b");

    g_bInputShowsTitle = true;
    QTest::mouseClick(input.viewport(), Qt::LeftButton);
    EXPECT_EQ(input.GetText(), "");
    EXPECT_FALSE(g_bInputShowsTitle);

    input.SetTextAndSelect("copy me", true);
    EXPECT_EQ(QApplication::clipboard()->text(), "copy me");
    EXPECT_EQ(input.UpdateCaretPosition(), " Ln 1, Col 1");

    WriteFile(tmp / "in.txt", "line1\nline2\n");
    std::filesystem::create_directories(tmp / "dir");
    EXPECT_FALSE(input.LoadDroppedFiles({tmp / "in.txt", tmp / "dir"}));
    EXPECT_EQ(prompter.Messages().back(), "Directory or hidden file not allowed.");
    EXPECT_TRUE(input.LoadDroppedFiles({tmp / "in.txt"}));
    EXPECT_EQ(input.GetText(), "line1\r\nline2\r\n");
    SetTextWindows(nullptr, nullptr);
}

TEST_F(SharedControls, StatusBarPanesHostControls) {
    CPaneControlStatusBar bar;
    bar.SetIndicators({0});
    QLabel* hosted = new QLabel("x");
    EXPECT_FALSE(bar.AddPaneControl(hosted, 5, true));
    EXPECT_TRUE(bar.AddIndicator(5, 1));
    EXPECT_TRUE(bar.AddPaneControl(hosted, 5, true));
    PaneSettings ps;
    ASSERT_TRUE(bar.GetPaneInfoEx(1, ps));
    ps.style |= kPaneDisabled;
    EXPECT_TRUE(bar.SetPaneInfoEx(1, ps));
    EXPECT_FALSE(hosted->isEnabled());
    bar.SetPaneText(0, "3 selected");
    EXPECT_EQ(bar.PaneText(0), "3 selected");
    EXPECT_TRUE(bar.RemoveIndicator(5));
    EXPECT_FALSE(bar.RemoveIndicator(0));
}

TEST(DialogPlacementRules, HomePositionsAroundTheFrame) {
    const PlaceRect F = FrameAnchor({0, 0, 549, 737}, 300);
    EXPECT_EQ(F.right, 335);
    auto at = [&](HomeSlot s, int own = 100) {
        PlacePoint p = HomePosition(s, F, 738, own);
        return std::pair{p.x, p.y};
    };
    EXPECT_EQ(at(HomeSlot::DefinedMacros), std::pair(28, 86));
    EXPECT_EQ(at(HomeSlot::TextConversionRules), std::pair(335, 20));
    EXPECT_EQ(at(HomeSlot::Report), std::pair(0, 369 - 105));
    EXPECT_EQ(at(HomeSlot::CutSessionFiles), std::pair(550, 369 - 105 + 74));  // screen x, not an offset
    EXPECT_EQ(at(HomeSlot::FindReplacePreview, 200), std::pair(0, 737 - 200 - 54));
    EXPECT_EQ(at(HomeSlot::MasterFile, 300), std::pair(335, 437));
    EXPECT_EQ(at(HomeSlot::FileDiff2), std::pair(150, 24));
}

TEST_F(SharedControls, TheFirstBoxDragsTheSecondAlongWhenItScrolls) {
    CTextRichEdit first(3), second(4);
    first.SetScrollPartner(&second);
    std::string text;
    for (int i = 0; i < 300; ++i) text += "line " + std::to_string(i) + "\r\n";
    first.SetWindowTextFromString(text);
    second.SetWindowTextFromString(text);
    first.resize(200, 100);
    second.resize(200, 100);
    first.show();
    second.show();
    QApplication::processEvents();
    first.verticalScrollBar()->setValue(120);
    EXPECT_EQ(second.verticalScrollBar()->value(), 120);
    second.verticalScrollBar()->setValue(40);
    EXPECT_EQ(first.verticalScrollBar()->value(), 120);
}

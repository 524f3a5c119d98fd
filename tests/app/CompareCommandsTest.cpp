// The diff windows and the File Diff Manager, driven from the window's
// commands on real files and on the Input and Output windows.
#include <sys/stat.h>

#include <QPushButton>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

#include "UiFixture.h"
#include "app/CompareCommands.h"
#include "app/MainFrame.h"
#include "compare/TextAccess.h"
#include "compare/TextDiff.h"
#include "app/MessageWindowBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "compare/DiffWindowsState.h"
#include "compare/ui/DiffPane.h"
#include "compare/ui/DiffTwoLinesDlg.h"
#include "compare/ui/FileDiffDlg.h"
#include "compare/ui/FileDiffManagerDlg.h"
#include "compare/ui/MasterFileDlg.h"
#include "app/ConversionCommands.h"
#include "app/ListViews.h"
#include "convert_ui/ui/DefinedMacrosDlg.h"
#include "convert/EngineTestUtil.h"
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include "convert_ui/ui/ModalRun.h"
#include "filelist/AddFileItems.h"
#include "settings/AcceleratorManager.h"
#include "model/Sound.h"

namespace {

// The program's key table on the frame, installed as the program installs
// it; taken off again, with the diff's read probe, at the end of the scope.
struct InstalledKeys {
    CAcceleratorManager keys;
    explicit InstalledKeys(IAcceleratorTarget* frame) {
        keys.Connect(frame, false);
        InstallAccelerators(keys);
    }
    ~InstalledKeys() {
        SetDiffReadProbe(nullptr);
        keys.Connect(nullptr, false);
    }
};

class CompareCommandsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->show();
    }
    void TearDown() override {
        g_runModalHook = nullptr;
        SetSoundPlayer(nullptr);
        frame.reset();
        UiTest::TearDown();
    }
    void Run(int id) {
        ASSERT_TRUE(frame->IsCommandEnabled(id)) << id;
        frame->ExecuteCommand(id);
    }
    // Selects items of the current basket ("index.html", "about.txt", "main.c", ...).
    void Select(const std::vector<int>& items) { frame->Data().SetSelection(0, 0, 0, items); }
    std::string PathOf(int item) {
        CFileItem* it = frame->Data().GetFileItemPtr(0, 0, 0, item);
        return it->LocalDir + it->FileName;
    }
    CFileDiffDlg& Window(int w) { return frame->CompareCommands().DiffWindow(w); }
    std::string LabelOf(int w, int pane) { return Window(w).Label(pane)->text().toStdString(); }
    bool Logged(const std::string& line) {
        const std::string log = "\r\n" + frame->MessageWindow().GetText() + "\r\n";
        return log.find("\r\n" + line + "\r\n") != std::string::npos;
    }
    std::string LastMessage() { return prompter.Messages().empty() ? "" : prompter.Messages().back(); }

    std::unique_ptr<CMainFrame> frame;
};

// The file the read probe adds a line to once it has been looked at.
std::string g_writtenOver;
void AddALineOnce(const std::string& path) {
    if (path != g_writtenOver) return;
    g_writtenOver.clear();
    std::ofstream(path, std::ios::app) << "written meanwhile\n";
}

// left:  a b c d e f g h
// right: a B c d e f x g h y  (1 modified, 2 added between f and g, 3 added at the end)
void WriteTwoFiles(const std::string& left, const std::string& right) {
    WriteFile(left, "a\nb\nc\nd\ne\nf\ng\nh\n");
    WriteFile(right, "a\nB\nc\nd\ne\nf\nx\ng\nh\ny\n");
}

TEST_F(CompareCommandsTest, QuickDiffOfTwoFilesShowsRowsMarkersAndSteps) {
    WriteTwoFiles(PathOf(2), PathOf(3));
    Select({2, 3});
    Run(32548);
    CFileDiffDlg& w = Window(1);
    ASSERT_TRUE(w.isVisible());
    EXPECT_TRUE(frame->CompareCommands().Manager().isVisible());
    EXPECT_EQ(w.windowTitle(), "2-Way Diff - Files");
    EXPECT_TRUE(g_DiffWindows.windowShown[1]);
    EXPECT_FALSE(w.Pane(2)->isVisibleTo(&w));
    ASSERT_EQ(w.RowCount(), 10);
    CDiffPaneModel* left = w.Model(0);
    CDiffPaneModel* right = w.Model(1);
    // Row 1 modified on both sides, row 6 a filler on the left against an added line.
    EXPECT_EQ(left->Marker(1), 1);
    EXPECT_EQ(right->Marker(6), 2);
    EXPECT_EQ(left->data(left->index(6, 2), Qt::DisplayRole).toString(), "");
    EXPECT_EQ(right->data(right->index(6, 2), Qt::DisplayRole).toString(), "7");
    EXPECT_EQ(right->data(right->index(6, 3), Qt::DisplayRole).toString(), "x");
    EXPECT_EQ(left->data(left->index(6, 1), Qt::DisplayRole).toInt(), 7);
    EXPECT_EQ(w.Pane(0)->horizontalHeader()->sectionSize(3), 800);
    // The rows are the result's own: no copy of the texts.
    EXPECT_EQ(&left->Rows(), &frame->Data().m_DiffResults.m_FilesResult.leftRows);

    EXPECT_EQ(LabelOf(1, 0), "1. files/main.c (ok/3)");
    EXPECT_EQ(LabelOf(1, 1), "2. files/util.h (ok/3)");

    QTest::mouseClick(w.findChild<QAbstractButton*>("1356"), Qt::LeftButton);
    EXPECT_EQ(w.Selection(0), std::vector<int>{1});
    EXPECT_EQ(w.Selection(1), std::vector<int>{1});
    EXPECT_EQ(LabelOf(1, 0), "1. files/main.c (1/3)");
    w.NextDifference();
    EXPECT_EQ(w.Selection(0), std::vector<int>{6});
    w.NextDifference();
    EXPECT_EQ(w.Selection(1), std::vector<int>{9});
    w.NextDifference();
    EXPECT_EQ(LastMessage(), "Reached the end of the file.");
    EXPECT_EQ(w.Selection(1), std::vector<int>{9});
    w.PreviousDifference();
    EXPECT_EQ(w.Selection(0), std::vector<int>{6});
    QTest::keyClick(w.Pane(0), Qt::Key_F1);
    EXPECT_EQ(w.Selection(0), std::vector<int>{1});
    w.PreviousDifference();
    EXPECT_EQ(LastMessage(), "Reached the beginning of the file.");
    QTest::keyClick(w.Pane(1), Qt::Key_F2);
    EXPECT_EQ(w.Selection(1), std::vector<int>{6});
}

TEST_F(CompareCommandsTest, IdenticalFilesAndMissingSelection) {
    Select({2});
    Run(32548);
    EXPECT_EQ(LastMessage(), "At least two files must be selected that you want to compare.");
    EXPECT_FALSE(Window(1).isVisible());
    Run(32546);
    EXPECT_EQ(LastMessage(), "At least three files must be selected that you want to compare.");

    WriteFile(PathOf(2), "same\nlines\n");
    WriteFile(PathOf(3), "same\nlines\n");
    Select({2, 3});
    Run(32548);
    EXPECT_EQ(LabelOf(1, 0), "1. files/main.c (ok/0)");
    EXPECT_EQ(LabelOf(1, 1), "2. files/util.h (ok/0)");
    Window(1).NextDifference();
    EXPECT_EQ(LastMessage(), "Reached the end of the file.");
    Window(1).PreviousDifference();
    EXPECT_EQ(LastMessage(), "Reached the beginning of the file.");

    // A folder or a pipe in a file's place: the message says what it is.
    const std::string folder = PathOf(3), pipe = PathOf(1);
    std::filesystem::remove(folder);
    std::filesystem::create_directory(folder);
    prompter.entries.clear();
    Run(32548);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"Failed to read the file: " + folder + "\r\n" + folder +
                                            " is a folder, not a file.",
                                        "Failed to load the files."}));
    std::filesystem::remove(pipe);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::remove(folder);
    WriteFile(folder, "same\nlines\n");
    Select({1, 2, 3});
    prompter.entries.clear();
    Run(32546);
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages()[0],
              "Failed to read the file: " + pipe + "\r\n" + pipe + " is a named pipe, not a file.");

    // A file written to after it was looked at and before it was read is
    // one that could not be read (two files, by Alt+2, and three, by
    // Alt+3): nothing of it is shown, the window keeps its rows.
    std::filesystem::remove(pipe);
    WriteFile(pipe, "same\nother\n");
    SetDiffReadProbe(AddALineOnce);
    const InstalledKeys keys(frame.get());
    const std::pair<int, std::vector<int>> runs[] = {{2, {2, 3}}, {3, {1, 2, 3}}};
    for (const auto& [window, selection] : runs) {
        Select(selection);
        g_writtenOver = PathOf(selection[0]);
        prompter.entries.clear();
        const int rows = Window(window - 1).RowCount();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get(), 30000));
        frame->activateWindow();
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get(), 30000));
        QTest::keyClick(frame.get(), window == 2 ? Qt::Key_2 : Qt::Key_3, Qt::AltModifier);
        EXPECT_EQ(prompter.Messages(),
                  (std::vector<std::string>{"Failed to read the file: " + PathOf(selection[0]) +
                                                "\r\nIt changed while it was read.",
                                            "Failed to load the files."}));
        EXPECT_EQ(Window(window - 1).RowCount(), rows);
    }
}

// Two files that share nothing but their blank lines, a fifth of each: a
// diff that takes the longest way.
void WriteUnrelatedFiles(const std::string& left, const std::string& right, int lines) {
    std::string a, b;
    for (int i = 0; i < lines; ++i) {
        a += i % 5 == 4 ? std::string("\n") : "    int field_" + std::to_string(i) + " = " + std::to_string(i * 7) + ";\n";
        b += i % 5 == 2 ? std::string("\n") : "Chapter " + std::to_string(i) + ": nothing like the other file\n";
    }
    WriteFile(left, a);
    WriteFile(right, b);
}

// The read probe holds a diff until it is stopped (for a minute at most):
// a diff that runs as long as the test needs, whatever the engine's pace.
void HoldUntilStopped(const std::string&) {
    QElapsedTimer t;
    t.start();
    while (!g_bDiffBreak && t.elapsed() < 60000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// The read probe holds a diff for a while, longer than a command waits.
void HoldAWhile(const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(600)); }

// A long diff (Alt+2, by the program's key table) runs while the window
// goes on: its timers fire, a second diff is refused, and Pause ("Stop all
// threads") or the window's close ends it within seconds, leaving the
// result as it was. A diff that ends at once is shown by its command.
TEST_F(CompareCommandsTest, ALongDiffLeavesTheWindowGoingAndPauseOrTheCloseEndsIt) {
    const InstalledKeys keys(frame.get());
    auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods) {
        frame->activateWindow();
        QApplication::setActiveWindow(frame.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get(), 30000));
        QTest::keyClick(frame.get(), key, mods);
    };
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get(), 30000));
    CFileDiffManagerDlg& manager = frame->CompareCommands().Manager();

    // A diff shown at once, as the command's own.
    WriteTwoFiles(PathOf(2), PathOf(3));
    Select({2, 3});
    press(Qt::Key_2, Qt::AltModifier);
    EXPECT_FALSE(manager.DiffRunning());
    ASSERT_EQ(Window(1).RowCount(), 10);
    EXPECT_TRUE(Window(1).isVisible());
    Window(1).hide();

    // One that takes a while is shown when it is over, as it would have
    // been at once.
    WriteFile(PathOf(3), "a\nb\nc\n");
    SetDiffReadProbe(HoldAWhile);
    prompter.entries.clear();
    press(Qt::Key_2, Qt::AltModifier);
    ASSERT_TRUE(manager.DiffRunning());
    EXPECT_EQ(Window(1).RowCount(), 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.DiffRunning(); }, 10000));
    EXPECT_TRUE(Window(1).isVisible());
    EXPECT_EQ(Window(1).RowCount(), 8);
    EXPECT_EQ(LabelOf(1, 1), "2. files/util.h (ok/1)");
    EXPECT_TRUE(prompter.Messages().empty());
    Window(1).hide();

    WriteUnrelatedFiles(PathOf(2), PathOf(3), 60000);
    SetDiffReadProbe(HoldUntilStopped);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QElapsedTimer clock;
    clock.start();
    press(Qt::Key_2, Qt::AltModifier);
    EXPECT_LT(clock.elapsed(), 5000) << "the command waited for its diff";
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 5; }, 5000)) << "the window stood still";
    ASSERT_TRUE(manager.DiffRunning());
    prompter.entries.clear();
    press(Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"One diff is already being built."});
    EXPECT_TRUE(manager.DiffRunning());

    clock.restart();
    press(Qt::Key_Pause, Qt::NoModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.DiffRunning(); }, 10000));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(Logged("Diff stopped."));
    EXPECT_FALSE(Window(1).isVisible());
    EXPECT_EQ(Window(1).RowCount(), 8);
    EXPECT_FALSE(g_bDiffBreak);
    EXPECT_TRUE(g_bDiffIdle);

    // Three files (Alt+3) the same way.
    WriteFile(PathOf(1), ReadFile(PathOf(3)));
    Select({1, 2, 3});
    clock.restart();
    press(Qt::Key_3, Qt::AltModifier);
    EXPECT_LT(clock.elapsed(), 5000) << "the command waited for its diff";
    ASSERT_TRUE(manager.DiffRunning());
    press(Qt::Key_Pause, Qt::NoModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !manager.DiffRunning(); }, 10000));
    EXPECT_FALSE(Window(2).isVisible());
    Select({2, 3});

    // The close stops it as well and goes on to its end.
    press(Qt::Key_2, Qt::AltModifier);
    ASSERT_TRUE(manager.DiffRunning());
    clock.restart();
    frame->CloseWithoutQuestions();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(manager.DiffRunning());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(Logged("Closing..."));
}

TEST_F(CompareCommandsTest, ThreeFilesShowTheMiddlePaneAndStepOverAll) {
    WriteFile(PathOf(1), "a\nb\nc\nd\ne\n");
    WriteFile(PathOf(2), "a\nb\nc\nd\ne\n");
    WriteFile(PathOf(3), "a\nb\nc\nD\ne\n");
    Select({1, 2, 3});
    Run(32546);
    CFileDiffDlg& w = Window(2);
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "3-Way Diff - Files");
    EXPECT_TRUE(w.Pane(2)->isVisibleTo(&w));
    EXPECT_EQ(w.Pane(2)->objectName(), "1725");
    EXPECT_EQ(w.findChild<QLabel*>("1871")->text().toStdString(), "1. files/about.txt");  // the base
    ASSERT_EQ(w.RowCount(), 5);
    EXPECT_NE(w.Model(2)->Marker(3), 0);
    w.NextDifference();
    EXPECT_EQ(w.Selection(2), std::vector<int>{3});
    EXPECT_EQ(frame->CompareCommands().Manager().Instances()->item(0)->text(), "3-Way Diff");

    // A quick diff afterwards is listed above the three-way diff, and only once.
    Select({2, 3});
    Run(32548);
    Run(32548);
    QListWidget* list = frame->CompareCommands().Manager().Instances();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "File-1 vs. File-2");
    EXPECT_EQ(list->item(1)->text(), "3-Way Diff");
}

TEST_F(CompareCommandsTest, InputAgainstOutputWindow) {
    CLineTextBox input(1), output(2);
    SetTextWindows(&input, &output);
    input.SetWindowTextFromString("one\r\ntwo\r\nthree\r\n");
    output.SetWindowTextFromString("one\r\n2\r\nthree\r\n");
    Run(32549);
    CFileDiffDlg& w = Window(0);
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Input vs. Output Window");
    ASSERT_GE(w.RowCount(), 3);
    EXPECT_EQ(w.Model(0)->Marker(1), 1);
    EXPECT_EQ(LabelOf(0, 0).substr(0, 3), "1. ");
    EXPECT_EQ(frame->CompareCommands().Manager().Instances()->item(0)->text(), "Input vs. Output Window");
    SetTextWindows(nullptr, nullptr);
}

class DiffWindowToolsTest : public CompareCommandsTest {
protected:
    void SetUp() override {
        CompareCommandsTest::SetUp();
        std::string a, b;
        for (int i = 0; i < 200; ++i) {
            a += "line " + std::to_string(i) + "\n";
            b += (i == 150 ? std::string("changed") : "line " + std::to_string(i)) + "\n";
        }
        WriteFile(PathOf(2), a);
        WriteFile(PathOf(3), b);
        Select({2, 3});
        Run(32548);
        w = &Window(1);
        w->resize(800, 400);
        QApplication::processEvents();
    }
    CFileDiffDlg* w = nullptr;
};

TEST_F(DiffWindowToolsTest, PanesScrollTogether) {
    w->Pane(0)->verticalScrollBar()->setValue(40);
    EXPECT_EQ(w->Pane(1)->TopRow(), 40);
    w->Pane(1)->verticalScrollBar()->setValue(90);
    EXPECT_EQ(w->Pane(0)->TopRow(), 90);
    w->NextDifference();  // row 150 comes into view in both panes
    const int top = w->Pane(0)->TopRow();
    EXPECT_EQ(w->Pane(1)->TopRow(), top);
    EXPECT_LE(top, 150);
    EXPECT_GT(top + w->Pane(0)->RowsPerPage(), 150);

    // A click on a row's text keeps the marker and number columns in view.
    CDiffListCtrl* pane = w->Pane(0);
    const QRect cell = pane->visualRect(pane->model()->index(top + 1, 3));
    ASSERT_GT(pane->horizontalHeader()->sectionSize(3), pane->viewport()->width());
    ASSERT_EQ(pane->horizontalScrollBar()->value(), 0);
    QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 40, cell.center().y()));
    // The view brings a clicked cell into view once no double click can follow.
    QTest::qWait(QApplication::doubleClickInterval() + 300);
    EXPECT_EQ(pane->horizontalScrollBar()->value(), 0);
    EXPECT_EQ(pane->currentIndex().row(), top + 1);
}

TEST_F(DiffWindowToolsTest, GoToLineSearchAndCopy) {
    prompter.texts = {std::string("0"), std::string("abc"), std::string("42"), std::string("9999")};
    g_DiffWindows.lastWindow = 1;  // the pane commands act on the window last clicked
    Run(32606);
    EXPECT_EQ(LastMessage(), "Invalid line number.");
    Run(32606);
    EXPECT_EQ(LastMessage(), "Invalid line number.");
    Run(32606);
    EXPECT_EQ(w->Selection(0), std::vector<int>{41});
    EXPECT_EQ(w->Selection(1), std::vector<int>{41});
    Run(32606);
    EXPECT_EQ(w->Selection(0), std::vector<int>{199});

    // Find from the right pane: the text typed in the Find Text dialog, searched here.
    g_DiffWindows.lastWindow = 1;
    g_DiffWindows.lastPane = 1;
    w->SelectRow(1, 10);
    g_runModalHook = [](QDialog& dlg) {
        dlg.open();
        EXPECT_EQ(dlg.windowTitle(), "Find Text");
        auto* edit = dlg.findChild<QPlainTextEdit*>("1864");
        EXPECT_EQ(edit->toPlainText(), "line 10");
        EXPECT_EQ(dlg.findChild<QLabel*>("1866")->text(), "Grabbed line 11 from right list.");
        EXPECT_TRUE(dlg.findChild<QRadioButton*>("1824")->isChecked());  // the palette at first
        dlg.findChild<QRadioButton*>("1813")->click();                    // "Here"
        edit->setPlainText("  changed ");
        dlg.findChild<QAbstractButton*>("1")->click();
        return dlg.result();
    };
    Run(32605);
    g_runModalHook = nullptr;
    EXPECT_EQ(w->Selection(1), std::vector<int>{150});
    EXPECT_FALSE(g_DiffWindows.findInMasterPalette);  // the choice is kept
    w->SearchPane(1, "  changed ", false);
    EXPECT_EQ(LastMessage(), "Text not found here.");
    w->SearchPane(1, "line 3", true);  // wraps to the top
    EXPECT_EQ(w->Selection(1), std::vector<int>{3});

    // Copy: three rows in the plural, one in the singular, none writes nothing.
    std::vector<std::pair<int, int>> tones;
    SetSoundPlayer([&](int hz, int ms) { tones.push_back({hz, ms}); });
    g_bSoundsOn = true;
    QItemSelectionModel* sm = w->Pane(0)->selectionModel();
    sm->clearSelection();
    for (int r : {5, 6, 7}) sm->select(w->Model(0)->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->ClickPane(0);
    QTest::keyClick(w->Pane(0), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "line 5\r\nline 6\r\nline 7\r\n");
    EXPECT_TRUE(Logged("3 lines copied to clipboard."));
    EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{200, 100}, {2000, 100}}));
    w->SelectRow(0, 8);
    w->CopyRows(0);
    EXPECT_TRUE(Logged("1 line copied to clipboard."));
    w->SelectRow(0, -1);
    const std::string traced = frame->MessageWindow().GetText();
    w->CopyRows(0);
    EXPECT_EQ(frame->MessageWindow().GetText(), traced);
    EXPECT_EQ(tones.size(), 4u);
}

TEST_F(DiffWindowToolsTest, CompareTwoLinesAndThePaneMenu) {
    w->SelectRow(0, 150);
    w->SelectRow(1, 150);
    w->ClickPane(0);
    w->ClickPane(1);
    std::string seen;
    g_runModalHook = [&](QDialog& dlg) {
        dlg.open();
        auto& d = static_cast<CDiffTwoLinesDlg&>(dlg);
        seen = dlg.windowTitle().toStdString() + "|" + d.FirstText() + "|" + d.SecondText() + "|" +
               d.MarkerLine() + "|" + dlg.findChild<QLabel*>("1866")->text().toStdString() + "|" +
               dlg.findChild<QLabel*>("1871")->text().toStdString() + "|" +
               dlg.findChild<QLabel*>("1872")->text().toStdString();
        dlg.reject();
        return dlg.result();
    };
    QTest::keyClick(w->Pane(1), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(seen, "Diff Two Lines|line 150|changed|" + std::string(8, '|') + "|(Different)|Left:|Right:");

    // Ctrl+A selects every row of the pane.
    QTest::keyClick(w->Pane(0), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w->Selection(0).size(), 200u);

    // The pane menu offers the commands.
    emit w->Pane(0)->customContextMenuRequested(QPoint(5, 5));
    QMenu* menu = w->PopupMenu();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) texts << a->text() + (a->isEnabled() ? "" : " (off)");
    menu->hide();
    EXPECT_EQ(texts.join(";").toStdString(),
              "Add these lines to Master palette;Override selected lines in Master palette with these "
              "lines;Copy\tCtrl+C;Find text\tCtrl+F, Dbl Click;Go to line here\tCtrl+G;Compare two "
              "lines here\tCtrl+Q");

    // The icon legend.
    std::string legend;
    g_runModalHook = [&](QDialog& dlg) {
        dlg.open();
        legend = dlg.windowTitle().toStdString();
        dlg.accept();
        return dlg.result();
    };
    w->findChild<QAbstractButton*>("1359")->click();
    EXPECT_EQ(legend, "Icon Descriptions");
}

TEST_F(DiffWindowToolsTest, ClosingHidesAndClearsTheShownFlag) {
    ASSERT_TRUE(g_DiffWindows.windowShown[1]);
    w->reject();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(g_DiffWindows.windowShown[1]);
    // Double click on the manager's row shows it again.
    QListWidget* list = frame->CompareCommands().Manager().Instances();
    list->item(0)->setSelected(true);
    frame->CompareCommands().Manager().ShowSelectedInstance();
    EXPECT_TRUE(w->isVisible());
    // Reset asks first; No keeps the rows.
    prompter.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(frame->CompareCommands().Manager().Reset());
    EXPECT_EQ(list->count(), 1);
    EXPECT_TRUE(frame->CompareCommands().Manager().Reset());
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(CompareCommandsTest, ManagerIgnoreList) {
    Run(32511);
    CFileDiffManagerDlg& m = frame->CompareCommands().Manager();
    ASSERT_TRUE(m.isVisible());
    EXPECT_EQ(m.windowTitle(), "File Diff Manager");
    // The buttons show pictures instead of their texts, named by their tool tips.
    for (const char* id : {"1559", "1560", "1561", "1562", "1564", "1565", "1566", "1317", "1552"}) {
        auto* b = m.findChild<QPushButton*>(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_FALSE(b->icon().isNull()) << id;
        EXPECT_TRUE(b->text().isEmpty()) << id;
        EXPECT_FALSE(b->toolTip().isEmpty()) << id;
    }
    // Placed by the size it shows with, not the size before its first show:
    // it stands above the frame's bottom, not below the screen.
    EXPECT_LE(m.frameGeometry().bottom(), frame->frameGeometry().bottom());
    m.findChild<QCheckBox*>("1480")->click();
    EXPECT_TRUE(g_bDiffIgnoreIdent);
    auto* edit = m.findChild<QLineEdit*>("1627");
    for (const char* t : {"abc", "x", "y"}) {
        edit->setText(t);
        m.OnAddIgnoreText();
    }
    edit->setText("ABC");
    g_bDiffIgnoreCase = true;
    m.OnAddIgnoreText();
    EXPECT_EQ(LastMessage(), "\"ABC\" already listed.");
    g_bDiffIgnoreCase = false;
    m.OnAddIgnoreText();
    EXPECT_EQ(g_DiffIgnoreList, (std::vector<std::string>{"abc", "x", "y", "ABC"}));
    edit->clear();
    m.OnAddIgnoreText();
    EXPECT_EQ(LastMessage(), "Empty string...");
    m.OnDeleteIgnoreText();  // the last one is selected
    EXPECT_EQ(g_DiffIgnoreList, (std::vector<std::string>{"abc", "x", "y"}));
    g_DiffIgnoreList.clear();
}

TEST_F(CompareCommandsTest, CrossPageListsTheSelectedFilesAndTheTextWindows) {
    Run(32511);
    CFileDiffManagerDlg& m = frame->CompareCommands().Manager();
    WriteFile(PathOf(0), "one\nshared\n");
    WriteFile(PathOf(1), "shared\ntwo\n");
    Select({0});
    m.findChild<QPushButton*>("1564")->click();
    EXPECT_EQ(LastMessage(), "At least two files must be selected that you want to analyze.");
    Select({0, 1});
    m.findChild<QPushButton*>("1564")->click();
    QApplication::processEvents();
    EXPECT_EQ(LastMessage(), "Cross of texts from selected files is shown on ***Input*** Window.");
    const std::string input = GetInputWindowText();
    for (const char* text : {"index.html", "about.txt", "one", "two", "shared"})
        EXPECT_NE(input.find(text), std::string::npos) << text << "\n" << input;

    SetOutputWindowText("shared\r\nomega\r\n");
    QApplication::processEvents();
    m.findChild<QPushButton*>("1565")->click();
    QApplication::processEvents();
    EXPECT_EQ(LastMessage(), "Cross of texts from Input and Output windows is shown on ***Message*** Window.");
    const std::string log = frame->MessageWindow().GetText();
    for (const char* text : {"Input Window", "Output Window", "omega"})
        EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
}

class PaletteCommandsTest : public DiffWindowToolsTest {
protected:
    void TearDown() override {
        g_pickPaletteFile = nullptr;
        g_strPaletteFile.clear();
        g_strLastLocalDir.clear();
        DiffWindowToolsTest::TearDown();
    }
    CMasterFileDlg& Pal() { return frame->CompareCommands().Palette(); }
    std::vector<CMasterPaletteLine>& Lines() { return frame->Data().m_DiffResults.m_PaletteLines; }
    void SelectPaneRows(int pane, const std::vector<int>& rows) {
        QItemSelectionModel* sm = w->Pane(pane)->selectionModel();
        sm->clearSelection();
        for (int r : rows) sm->select(w->Model(pane)->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        g_DiffWindows.lastWindow = 1;
        g_DiffWindows.lastPane = pane;
    }
    void SelectPaletteRows(const std::vector<int>& rows) {
        QItemSelectionModel* sm = Pal().List()->selectionModel();
        sm->clearSelection();
        for (int r : rows)
            sm->select(Pal().List()->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Pal().RecordListSelection();
    }
    std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(PaletteCommandsTest, RowsFromADiffAreAddedAndOverride) {
    frame->CompareCommands().Manager().findChild<QAbstractButton*>("1561")->click();
    ASSERT_TRUE(Pal().isVisible());
    EXPECT_EQ(Pal().windowTitle(), "Master File");
    EXPECT_EQ(Pal().StatusText(), "Load or drag-and-drop Master file.");

    SelectPaneRows(1, {0, 1, 2});
    Run(32609);
    ASSERT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines()[1], (CMasterPaletteLine{3, -1, -1, "line 1"}));  // window 1, right pane
    EXPECT_EQ(w->Model(1)->Marker(1), 0 + 4);                           // marked as exported
    Run(32609);  // again: the marker stays, the lines are added once more
    EXPECT_EQ(w->Model(1)->Marker(1), 4);
    EXPECT_EQ(Lines().size(), 6u);
    EXPECT_EQ(Pal().StatusText().substr(0, 33), "Save current contents to a file. ");

    // Override with nothing selected in the palette: refused, rows not marked.
    SelectPaletteRows({});
    SelectPaneRows(0, {150});
    Run(32610);
    EXPECT_EQ(LastMessage(), "Nothing selected in Master palette.");
    EXPECT_EQ(w->Model(0)->Marker(150), 1);
    SelectPaletteRows({1, 2});
    Run(32610);
    ASSERT_EQ(Lines().size(), 5u);
    EXPECT_EQ(Lines()[1], (CMasterPaletteLine{2 + 7, -1, -1, "line 150"}));
    EXPECT_EQ(w->Model(0)->Marker(150), 1 + 4);
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{1});
}

TEST_F(PaletteCommandsTest, RowsDraggedOntoThePalette) {
    SelectPaneRows(1, {3, 4});
    if (QGuiApplication::platformName() == "offscreen") {
        // No drag and drop without a window system: the drop as it arrives.
        Pal().List()->HandleDroppedRows(1, 1, -1, false);
    } else {
        // Dragged with the mouse from the right pane and let go over the
        // palette without Ctrl.
        w->move(0, 0);
        Pal().show();
        Pal().move(w->frameGeometry().right() + 40, 0);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Pal(), 30000));
        QWidget* from = w->Pane(1)->viewport();
        const QPoint start = w->Pane(1)->visualRect(w->Model(1)->index(3, 3)).center();
        QWidget* to = Pal().List()->viewport();
        bool released = false;
        QTimer::singleShot(100, [&] {  // inside the drag's own event loop
            QTest::mouseMove(to, QPoint(20, 20));
            QTest::mouseMove(to, QPoint(25, 25));
            QTest::mouseRelease(to, Qt::LeftButton, Qt::NoModifier, QPoint(25, 25));
            released = true;
        });
        QTest::mousePress(from, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(from, start + QPoint(20, 0));
        QTest::mouseMove(from, start + QPoint(40, 0));
        QTRY_VERIFY_WITH_TIMEOUT(released, 2000);
        QApplication::processEvents();
    }
    // Added at the end.
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0], (CMasterPaletteLine{3, -1, -1, "line 3"}));
    EXPECT_EQ(w->Model(1)->Marker(4), 4);
    // With Ctrl on row 1: that row is overridden by the dragged rows.
    SelectPaneRows(0, {150});
    Pal().List()->HandleDroppedRows(1, 0, 1, true);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1], (CMasterPaletteLine{2 + 7, -1, -1, "line 150"}));
    // A diff pane takes no rows.
    w->Pane(1)->HandleDroppedRows(1, 0, 1, false);
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(PaletteCommandsTest, EditConvertFindAndBlocks) {
    Pal().SetLines({"alpha", "beta", "gamma", "delta"});
    SelectPaletteRows({0, 1, 2});
    QString summary;
    g_runModalHook = [&](QDialog& dlg) {
        dlg.open();
        EXPECT_EQ(dlg.windowTitle(), "Edit Master Palette");
        auto* edit = dlg.findChild<QPlainTextEdit*>("1630");
        EXPECT_EQ(edit->toPlainText(), "alpha\nbeta\ngamma");
        edit->setPlainText("alpha\nBETA\ngamma\nnew");
        summary = static_cast<CEditMasterPaletteDlg&>(dlg).Summary();
        dlg.findChild<QAbstractButton*>("1")->click();
        return dlg.result();
    };
    Run(32613);
    g_runModalHook = nullptr;
    EXPECT_EQ(summary, "Status:\nUpdate:\n3 lines.\n\nAdd:\n1 line.");
    ASSERT_EQ(Lines().size(), 5u);
    EXPECT_EQ(Lines()[1].text, "BETA");
    EXPECT_EQ(Pal().List()->model()->index(1, 0).data().toString(), "mod");
    EXPECT_EQ(Pal().List()->model()->index(0, 0).data().toString(), "");
    EXPECT_EQ(Lines()[3], (CMasterPaletteLine{16, -1, -1, "new"}));

    // Convert with the current library: a to A.
    frame->Data().m_LibraryList = OneLibrary({MakeMacro("a", "A")});
    SelectPaletteRows({3, 4});
    Run(32618);
    EXPECT_EQ(Lines()[4], (CMasterPaletteLine{14, -1, -1, "deltA"}));
    EXPECT_EQ(Lines()[3].origin, 16);  // "new" had no "a"
    EXPECT_EQ(Pal().StatusText(), "Total 1 line modified.");
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{4});

    // Blocks of one origin.
    SelectPaletteRows({0});
    Pal().NextBlock();
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{3});
    Pal().findChild<QAbstractButton*>("1357")->click();
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{2});

    // Find in the palette (from the diff window's Find Text with the palette target).
    g_DiffWindows.findInMasterPalette = true;
    g_runModalHook = [](QDialog& dlg) {
        dlg.open();
        EXPECT_EQ(dlg.findChild<QLabel*>("1866")->text(), "master palette");
        dlg.findChild<QPlainTextEdit*>("1864")->setPlainText("BET");
        dlg.findChild<QAbstractButton*>("1")->click();
        return dlg.result();
    };
    Run(32608);
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{1});
    prompter.texts = {std::string("4")};
    Run(32614);
    EXPECT_EQ(Pal().Palette().Selection(), std::vector<int>{3});
    Run(32611);
    Run(32614);
    EXPECT_EQ(LastMessage(), "The palette is empty.");
}

TEST_F(PaletteCommandsTest, SaveLoadAndDrop) {
    Pal().SetLines({"one", "two"});
    Lines()[1].origin = 3;
    const std::string target = Files() + "/palette-out.txt";
    // A palette without a file of its own proposes a new name in the folder
    // palettes come from, not the selected item (a page the user would overwrite).
    g_strPaletteFile.clear();
    g_strLastLocalDir = Files() + "/palettes/";
    Select({0});
    prompter.texts = {std::nullopt};
    Run(32617);
    EXPECT_EQ(prompter.entries.back().text, "File Name|Enter filename:");
    EXPECT_EQ(prompter.entries.back().initial, Files() + "/palettes/New-File-Master.txt");
    g_strLastLocalDir.clear();
    // A failed write reports it and keeps the old name.
    g_strPaletteFile = Files() + "/old.txt";
    prompter.texts = {Files() + "/no/such/folder/p.txt"};
    Run(32617);
    EXPECT_EQ(prompter.entries.back().icon, MsgIcon::Stop);
    EXPECT_EQ(g_strPaletteFile, Files() + "/old.txt");

    const int before = frame->Data().GetFileItemCount(0, 0, 0);
    prompter.texts = {target};
    Run(32617);
    EXPECT_EQ(ReadAll(target), "one\ntwo\n");
    EXPECT_EQ(g_strPaletteFile, target);
    EXPECT_EQ(Pal().StatusText(), "Save current contents to a file. (files/palette-out.txt)");
    // Saved once, the palette proposes its own file.
    prompter.texts = {std::nullopt};
    Run(32617);
    EXPECT_EQ(prompter.entries.back().initial, target);
    EXPECT_EQ(frame->Data().GetFileItemCount(0, 0, 0), before + 1);
    // Saving again under the same name asks to replace and adds no second item.
    prompter.texts = {target};
    prompter.answers = {Answer::Yes};
    Run(32617);
    EXPECT_EQ(prompter.Questions().back(), target + " Replace existing?");
    EXPECT_EQ(frame->Data().GetFileItemCount(0, 0, 0), before + 1);

    // Load: every line from the file, origin 15; asks first because the palette has text.
    std::string startDir;
    g_strLastLocalDir = Files() + "/";
    g_pickPaletteFile = [&](const std::string& dir) {
        startDir = dir;
        return std::optional<std::string>(target);
    };
    prompter.answers = {Answer::Yes};
    Run(32616);
    EXPECT_EQ(startDir, Files() + "/");  // the dialog starts in the local folder used last
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1], (CMasterPaletteLine{15, -1, -1, "two"}));
    EXPECT_EQ(Pal().StatusText(), "Save current contents to a file. (files/palette-out.txt)");

    // Dropping: a folder is refused; a long path is taken whole; only the first file counts.
    prompter.answers = {Answer::Yes};
    Pal().DropFiles({Files()});
    EXPECT_EQ(LastMessage(), "Directory or hidden file not allowed.");
    std::string deep = Files();
    for (int i = 0; i < 8; ++i) deep += "/" + std::string(40, char('a' + i));
    std::filesystem::create_directories(deep);
    const std::string longPath = deep + "/dropped-file-with-a-long-name.txt";
    ASSERT_GT(longPath.size(), 300u);
    WriteFile(longPath, "x\r\ny");
    prompter.answers = {Answer::Yes};
    Pal().DropFiles({longPath, target});
    EXPECT_EQ(g_strPaletteFile, longPath);
    ASSERT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[0].text, "x");
    // No keeps everything.
    prompter.answers = {Answer::No};
    Pal().DropFiles({target});
    EXPECT_EQ(g_strPaletteFile, longPath);
}

TEST_F(PaletteCommandsTest, ADropOnADiffPaneIsOnlyTraced) {
    const QList<QUrl> urls{QUrl::fromLocalFile(QString::fromStdString(PathOf(2)))};
    w->Pane(0)->HandleDroppedUrls(urls);
    EXPECT_TRUE(Logged("Drag-n-drop ignored."));
    EXPECT_TRUE(Lines().empty());
    // The same file dropped on the palette's list loads it.
    WriteFile(PathOf(2), "dropped\n");
    Pal().List()->HandleDroppedUrls(urls);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0], (CMasterPaletteLine{15, -1, -1, "dropped"}));
}

}  // namespace

namespace {

// With QVL_SHOTS set to a folder (and a real X display), shows each window
// of the comparison commands and photographs the screen into that folder.
TEST_F(PaletteCommandsTest, LibraryButtonShowsTheConversionLibraryManager) {
    frame->CompareCommands().Manager().findChild<QAbstractButton*>("1561")->click();
    ASSERT_TRUE(Pal().isVisible());
    CDefinedMacrosDlg* library = frame->ConversionCommands().Library();
    ASSERT_NE(library, nullptr);
    library->hide();
    g_bDefinedMacrosShown = false;
    auto* button = Pal().findChild<QPushButton*>("1361");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), "Open current conversion library");
    button->click();
    EXPECT_TRUE(library->isVisible());
    EXPECT_TRUE(g_bDefinedMacrosShown);
    // The palette stays as it was.
    EXPECT_TRUE(Pal().isVisible());
    EXPECT_TRUE(Lines().empty());
    library->hide();
    g_bDefinedMacrosShown = false;
}

TEST_F(DiffWindowToolsTest, LabelFontsStartingPlacesAndFollowingTheFrame) {
    const QFont label = CMainFrame::LabelFont();
    EXPECT_EQ(label.pointSize(), 8);
    for (int p : {0, 1, 2}) {
        EXPECT_EQ(w->Label(p)->font().family(), label.family()) << p;
        EXPECT_EQ(w->Label(p)->font().pointSize(), 8) << p;
    }
    CMasterFileDlg& pal = frame->CompareCommands().Palette();
    QLabel* status = pal.findChild<QLabel*>("1866");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->font().family(), label.family());
    EXPECT_EQ(status->font().pointSize(), 8);

    // Sizes from the work area (a window never gets smaller than its controls need).
    const FrameLayout& L = frame->Layout();
    const int half = L.H / 2 - 20;
    EXPECT_EQ(pal.size(), QSize(L.W - 350, half).expandedTo(pal.minimumSize()));
    EXPECT_EQ(Window(0).size(), QSize(L.W - 327, half).expandedTo(Window(0).minimumSize()));
    EXPECT_EQ(CFileDiffDlg::TwoPanePlacement().height(), 400);  // window 1 was resized while shown
    EXPECT_EQ(Window(2).size(), QSize(1200, 600).expandedTo(Window(2).minimumSize()));

    // The frame moves: the shown two-file window moves along, the hidden
    // palette and manager go to their places beside the frame when next
    // shown (moved in as far as the screen needs).
    frame->CompareCommands().Manager().hide();
    g_DiffWindows.managerShown = false;
    ASSERT_TRUE(g_DiffWindows.windowShown[1]);
    ASSERT_FALSE(g_DiffWindows.paletteShown);
    QApplication::processEvents();
    frame->FollowFrame();  // the anchor as the frame stands now
    const QPoint frameBefore = frame->frameGeometry().topLeft();
    const QPoint windowBefore = w->pos();
    frame->move(frameBefore + QPoint(40, 10));
    QApplication::processEvents();
    frame->FollowFrame();
    const QPoint moved = frame->frameGeometry().topLeft() - frameBefore;
    EXPECT_EQ(w->pos(), windowBefore + moved);
    const QRect g = frame->frameGeometry();
    const PlaceRect F = FrameAnchor({g.left(), g.top(), g.right(), g.bottom()}, frame->BasketList()->width());
    const QRect a = frame->screen()->availableGeometry();
    const auto showsAt = [&](QWidget& d, PlacePoint home) {
        d.show();
        const QRect f = d.frameGeometry();
        d.hide();
        const PlacePoint in = KeepOnScreen(home, f.width(), f.height(), {a.left(), a.top(), a.right(), a.bottom()});
        EXPECT_EQ(f.topLeft(), QPoint(in.x, in.y));
    };
    showsAt(pal, HomePosition(HomeSlot::MasterFile, F, L.H, pal.height()));
    CFileDiffManagerDlg& manager = frame->CompareCommands().Manager();
    showsAt(manager, HomePosition(HomeSlot::FileDiffManager, F, L.H, manager.height()));
    // The moved window is where the two-pane windows open next.
    EXPECT_EQ(CFileDiffDlg::TwoPanePlacement().topLeft(), w->geometry().topLeft());
    showsAt(Window(2), HomePosition(HomeSlot::FileDiff2, F, L.H, Window(2).height()));
}

TEST_F(PaletteCommandsTest, Screenshots) {
    const char* dir = getenv("QVL_SHOTS");
    if (!dir) GTEST_SKIP() << "QVL_SHOTS not set";
    auto shoot = [&](QWidget& wnd, const std::string& name) {
        wnd.move(0, 0);
        wnd.show();
        wnd.raise();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&wnd, 20000));
        QApplication::processEvents();
        const std::string cmd = "import -window root '" + std::string(dir) + "/" + name + ".png'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    };
    frame->hide();
    frame->CompareCommands().Manager().hide();
    w->NextDifference();
    shoot(*w, "diff2");
    w->hide();
    WriteFile(PathOf(1), "a\nb\nc\nd\ne\n");
    WriteFile(PathOf(2), "a\nB\nc\nd\ne\n");
    WriteFile(PathOf(3), "a\nb\nc\nD\ne\nf\n");
    Select({1, 2, 3});
    Run(32546);
    frame->CompareCommands().Manager().hide();
    shoot(Window(2), "diff3");
    Window(2).hide();
    shoot(frame->CompareCommands().Manager(), "manager");
    frame->CompareCommands().Manager().hide();
    Pal().SetLines({"loaded one", "loaded two"});
    Pal().Palette().SetSelection({1});
    Pal().AddLines({"from diff"}, 3);
    shoot(Pal(), "palette");
    Pal().hide();
    CDiffTwoLinesDlg two("line one here", "line 0ne hare!", "", "Left:", "Right:", false);
    shoot(two, "twolines");
    two.hide();
    CDiffTwoLinesDlg find("line one here", "", "Grabbed line 3 from left list.", "Find:", "", true);
    shoot(find, "find");
    find.hide();
    CIconDescriptionsDlg legend;
    shoot(legend, "legend");
    legend.hide();
    CEditMasterPaletteDlg edit({"alpha", "beta"});
    edit.findChild<QPlainTextEdit*>("1630")->appendPlainText("gamma");
    shoot(edit, "edit");
}

}  // namespace

// The WorkPad, its worker and the text commands of the window, driven on
// the window as the program opens it.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <chrono>
#include <set>
#include <thread>

#include "app/ConversionCommands.h"
#include "app/MainFrame.h"
#include "app/MessageWindowBar.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRichEdit.h"
#include "widgets/TextRules.h"
#include "widgets/TextWindows.h"
#include "compare/TextAccess.h"
#include "convert/ConversionRun.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "convert_ui/ui/ModalRun.h"
#include "convert_ui/ui/SortPropertiesDlg.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "convert_ui/ui/DefinedMacrosDlg.h"
#include "convert_ui/ui/TextConversionRulesDlg.h"
#include "widgets/HyperLink.h"
#include <QLabel>
#include <QTreeWidgetItemIterator>
#include "convert_ui/ui/TabulateInputTextDlg.h"
#include <QTreeWidget>
#include "UiFixture.h"

namespace {

class ConversionCommandsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        g_nActiveTextWindow = 1;
    }
    void TearDown() override {
        g_runModalHook = nullptr;
        frame.reset();
        g_nActiveTextWindow = 1;
        UiTest::TearDown();
    }
    void Open() {
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->show();
        pad = &frame->ConversionCommands().WorkPad();
    }
    CLineTextBox* In() { return pad->Input(); }
    CLineTextBox* Out() { return pad->Output(); }
    void Run(int id) {
        ASSERT_TRUE(frame->IsCommandEnabled(id)) << id;
        frame->ExecuteCommand(id);
    }
    bool WaitIdle() { return frame->ConversionCommands().Worker().WaitIdle(20000); }
    std::string Selected(CLineTextBox* box) { return box->SelectedText(); }
    bool Logged(const std::string& line) {
        const std::string log = "\r\n" + frame->MessageWindow().GetText() + "\r\n";
        return log.find("\r\n" + line + "\r\n") != std::string::npos;
    }
    // Presses buttons of a modal dialog that the command opens, then OK or Cancel.
    void Answer(std::function<void(QDialog&)> clicks, bool ok) {
        g_runModalHook = [clicks, ok](QDialog& dlg) {
            dlg.open();
            clicks(dlg);
            QAbstractButton* b = dlg.findChild<QAbstractButton*>(ok ? "1" : "2");
            EXPECT_NE(b, nullptr);
            if (b) b->click();
            return dlg.result();
        };
    }
    std::unique_ptr<CMainFrame> frame;
    CInteractiveTextConversionDlg* pad = nullptr;
};

}  // namespace

TEST_F(ConversionCommandsTest, WorkPadPublishesItsBoxesAndConvertsWithTheCurrentMacro) {
    Open();
    EXPECT_EQ(pad->windowTitle(), "Interactive Text Conversion");
    EXPECT_EQ(g_pInputWindow, In());
    EXPECT_EQ(g_pOutputWindow, Out());
    EXPECT_EQ(In()->GetText(), "Input Text");
    EXPECT_EQ(pad->FindBox()->toPlainText(), "Find Text");
    EXPECT_FALSE(pad->isVisible());
    Run(32642);
    EXPECT_TRUE(pad->isVisible());
    EXPECT_TRUE(g_bInteractiveShown);

    // The two small boxes are the macro's texts.
    pad->FindBox()->setPlainText("one");
    pad->ReplaceBox()->setPlainText("1");
    EXPECT_EQ(CurrentMacro.Find, "one");
    EXPECT_EQ(CurrentMacro.Replace, "1");
    In()->SetWindowTextFromString("one two\none");
    Run(32643);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "1 two\r\n1");
    EXPECT_TRUE(Logged("--- Itr cvt (WorkPad) over ---"));
    EXPECT_TRUE(g_bConversionIdle);
    EXPECT_EQ(frame->findChild<QLineEdit*>("2177")->text().endsWith("+"), true);

    // The run works on its snapshot: a change of the macro during the run does not reach it.
    In()->SetWindowTextFromString("one");
    Run(32643);
    pad->ReplaceBox()->setPlainText("changed");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "1");

    // "x" empties the macro; "Left" takes the Output text; Close hides the pad.
    pad->findChild<QPushButton*>("1343")->click();
    EXPECT_EQ(CurrentMacro.Find, "");
    EXPECT_EQ(CurrentMacro.Replace, "");
    pad->findChild<QPushButton*>("32646")->click();
    EXPECT_EQ(In()->GetText(), "1");
    Out()->SetWindowTextFromString("");
    pad->findChild<QPushButton*>("32646")->click();
    EXPECT_EQ(In()->GetText(), "1");  // an empty Output leaves the Input alone
    pad->findChild<QPushButton*>("2")->click();
    EXPECT_FALSE(pad->isVisible());
    EXPECT_FALSE(g_bInteractiveShown);
}

TEST_F(ConversionCommandsTest, BigInputConvertsOnTheWorkerWithTicksSecondConvertRefusedAndStopEndsIt) {
    Open();
    Run(32642);
    std::string big;
    big.reserve(10u << 20);
    while (big.size() < (10u << 20)) big += "alpha beta gamma delta\n";
    In()->SetWindowTextFromString(big);
    pad->FindBox()->setPlainText("beta");
    pad->ReplaceBox()->setPlainText("BETA");
    auto* bar = frame->findChild<QProgressBar*>("2174");
    auto* time = frame->findChild<QLineEdit*>("2177");

    // A full run: the window keeps working while the worker converts, and
    // the ticker moves the progress bar and the time.
    Run(32643);
    EXPECT_FALSE(g_bConversionIdle);
    Run(32643);
    EXPECT_EQ(prompter.Messages().back(), "One interactive conversion session is already on.");
    std::set<int> ticks;
    QElapsedTimer t;
    t.start();
    while (!g_bConversionIdle && t.elapsed() < 20000) {
        QTest::qWait(10);
        ticks.insert(bar->value());
    }
    ASSERT_TRUE(WaitIdle());
    const std::string out = Out()->GetText();
    EXPECT_EQ(out.size(), big.size() + big.size() / 23);  // every LF became CR LF
    EXPECT_EQ(out.substr(0, 24), "alpha BETA gamma delta\r\n");
    EXPECT_TRUE(Logged("--- Itr cvt (WorkPad) over ---"));
    EXPECT_TRUE(time->text().endsWith("+"));
    EXPECT_EQ(bar->value(), 0);

    // The run above may end before the ticker's second tick: a body that
    // lasts until it is stopped shows the ticker at work, and Stop ends it.
    ASSERT_TRUE(frame->ConversionCommands().Worker().Start(
        [](std::string&, std::string& marker) {
            while (!g_bConversionBreak) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            marker = "-i-aborted";
            return false;
        },
        nullptr, "(WorkPad) over"));
    ticks.clear();
    t.restart();
    while (ticks.size() < 3 && t.elapsed() < 20000) {
        QTest::qWait(10);
        ticks.insert(bar->value());
    }
    EXPECT_GE(ticks.size(), 3u) << "the progress bar never moved";
    EXPECT_FALSE(time->text().endsWith("+"));
    Run(32644);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(time->text().endsWith("+"));
    EXPECT_EQ(bar->value(), 0);

    // Stop right after the start: the run ends with the abort line and the
    // Output window is left as it was.
    Out()->SetWindowTextFromString("kept");
    Run(32643);
    Run(32644);
    EXPECT_TRUE(Logged("---Conversion aborted-(0)---"));
    EXPECT_FALSE(g_bConversionIdle);  // idle only when the worker has ended
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged("--- Itr cvt -i-aborted ---"));
    EXPECT_EQ(Out()->GetText(), "kept");
    EXPECT_TRUE(g_bConversionIdle);
    EXPECT_FALSE(g_bConversionBreak);
    // And the pad converts again afterwards.
    In()->SetWindowTextFromString("beta");
    Run(32643);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "BETA");
}

TEST_F(ConversionCommandsTest, BigResultIsInTheOutputWindowAtTheEndLine) {
    Open();
    Run(32642);
    std::string big;
    for (int i = 0; i < 60000; ++i) big += "line " + std::to_string(i) + " beta \xc3\xa4\n";
    In()->SetWindowTextFromString(big);
    pad->FindBox()->setPlainText("beta");
    pad->ReplaceBox()->setPlainText("BETA");
    std::string expected = big;
    for (std::size_t p = 0; (p = expected.find("beta", p)) != std::string::npos;) expected.replace(p, 4, "BETA");
    expected = ToCrLf(expected);

    // At the end line the box holds every line of the result and can be edited.
    Run(32643);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Logged("--- Itr cvt (WorkPad) over ---"));
    EXPECT_FALSE(Out()->isReadOnly());
    EXPECT_EQ(Out()->LineCount(), 60001);  // the text ends with a line break
    EXPECT_EQ(Out()->LineText(0), "line 0 BETA \xc3\xa4");
    EXPECT_EQ(Out()->LineText(59999), "line 59999 BETA \xc3\xa4");
    EXPECT_EQ(Out()->GetText(), expected);
    EXPECT_EQ(GetOutputWindowText(), expected);
    EXPECT_EQ(Out()->toPlainText().toStdString(), FromCrLf(expected));
    // The new text starts at its top, with no history of the old one.
    EXPECT_EQ(Out()->Position(), 0);
    EXPECT_EQ(Out()->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(Out()->IsUndoAvailable());
    Out()->setFocus();
    QTest::keyClick(Out(), Qt::Key_X);
    EXPECT_NE(Out()->GetText(), expected);
    Out()->undo();
    EXPECT_EQ(Out()->GetText(), expected);

    // A text written after the run replaces the result.
    SetOutputWindowText("new\r\ntext");
    EXPECT_EQ(Out()->GetText(), "new\r\ntext");
    In()->SetWindowTextFromString("beta beta");
    Run(32643);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "BETA BETA");

    // "Left" takes the whole result.
    In()->SetWindowTextFromString(big);
    Run(32643);
    ASSERT_TRUE(WaitIdle());
    pad->findChild<QPushButton*>("32646")->click();
    EXPECT_EQ(In()->GetText(), expected);
    EXPECT_EQ(In()->LineCount(), 60001);
}

TEST_F(ConversionCommandsTest, FindNextAndReplaceNextSelectCharactersOfUtf8Text) {
    Open();
    Run(32642);
    In()->SetWindowTextFromString("caf\xc3\xa9 x\ncaf\xc3\xa9");
    pad->SetCurrentMacro(CMacro("caf\xc3\xa9", "tea"));
    EXPECT_EQ(pad->FindBox()->toPlainText().toStdString(), "caf\xc3\xa9");
    In()->SetCaret(0);
    Run(32641);
    EXPECT_EQ(Selected(In()), "caf\xc3\xa9");
    EXPECT_EQ(In()->SelectionStart(), 0);
    // The match is coloured red.
    EXPECT_EQ(In()->ForegroundAt(1), QColor(255, 10, 0));
    EXPECT_NE(In()->ForegroundAt(5), QColor(255, 10, 0));
    Run(32641);
    EXPECT_EQ(In()->SelectionStart(), 7);
    EXPECT_EQ(Selected(In()), "caf\xc3\xa9");
    // Nothing more: the last match stays selected in the Input window, which
    // has the focus; the next search starts at the top.
    pad->FindBox()->setFocus();
    pad->findChild<QPushButton*>("1379")->click();
    EXPECT_EQ(pad->focusWidget(), In());
    EXPECT_EQ(In()->SelectionStart(), 7);
    EXPECT_EQ(Selected(In()), "caf\xc3\xa9");
    Run(32641);
    EXPECT_EQ(In()->SelectionStart(), 0);

    // Replace next: the selected match is replaced and the next one selected.
    Run(32648);
    EXPECT_EQ(In()->GetText(), "tea x\r\ncaf\xc3\xa9");
    EXPECT_EQ(In()->SelectionStart(), 6);
    Run(32648);
    EXPECT_EQ(In()->GetText(), "tea x\r\ntea");
    // No match selected: only finds.
    In()->SetCaret(0);
    Run(32648);
    EXPECT_EQ(In()->GetText(), "tea x\r\ntea");

    // "WP" takes the Find text from the selection of the active window.
    In()->SetSelection(4, 5);
    g_nActiveTextWindow = 1;
    pad->findChild<QPushButton*>("32660")->click();
    EXPECT_EQ(CurrentMacro.Find, "x");
    EXPECT_EQ(pad->FindBox()->toPlainText(), "x");
}

TEST_F(ConversionCommandsTest, LineToolsWriteTheOutputWindow) {
    Open();
    In()->SetWindowTextFromString("b\nA\na\nb");
    Run(32593);
    EXPECT_EQ(Out()->GetText(), "b\r\nA\r\na");
    Run(32596);
    EXPECT_EQ(Out()->GetText().substr(0, 18), "A               1\r");
    In()->SetWindowTextFromString("a\n  \n\nb");
    Run(32594);
    EXPECT_EQ(Out()->GetText(), "a\r\nb");
    Run(32602);
    EXPECT_EQ(Out()->GetText(), "a#|\r\n  #|\r\n#|\r\nb");
    EXPECT_EQ(In()->GetText(), "a\r\n  \r\n\r\nb");  // a tool never changes the Input

    // Case changes work on the selection and select it in the Output window.
    In()->SetWindowTextFromString("abc def");
    In()->SetSelection(4, 7);
    Run(32658);
    EXPECT_EQ(Out()->GetText(), "abc DEF");
    EXPECT_EQ(Selected(Out()), "DEF");
    In()->SetCaret(0);
    In()->SetWindowTextFromString("ABC");
    Run(32656);
    EXPECT_EQ(Out()->GetText(), "abc");

    // To Left and Append Right.
    Run(32659);
    EXPECT_EQ(In()->GetText(), "abc");
    In()->SetWindowTextFromString("1\n2");
    Out()->SetWindowTextFromString("x\nyy");
    g_nActiveTextWindow = 1;
    Run(32622);
    EXPECT_EQ(Out()->GetText(), "x  1\r\nyy 2");

    // Clear Text on the active window.
    g_nActiveTextWindow = 2;
    Run(32624);
    EXPECT_EQ(Out()->GetText(), "");
    EXPECT_EQ(In()->GetText(), "1\r\n2");
}

TEST_F(ConversionCommandsTest, SortAsksForItsOrderAndCancelKeepsTheClicks) {
    Open();
    In()->SetWindowTextFromString("b\nA\na\nb");
    Out()->SetWindowTextFromString("unchanged");
    Answer([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Sort Properties");
        d.findChild<QRadioButton*>("1835")->click();
    }, false);
    Run(32652);
    EXPECT_EQ(Out()->GetText(), "unchanged");
    EXPECT_FALSE(g_bSortAscend);  // the click stands after Cancel
    Answer([](QDialog& d) {
        EXPECT_TRUE(d.findChild<QRadioButton*>("1835")->isChecked());
        d.findChild<QCheckBox*>("1495")->click();  // case off
        d.findChild<QCheckBox*>("1505")->click();  // duplicates off
    }, true);
    Run(32652);
    EXPECT_EQ(Out()->GetText(), "b\r\nA");
    // The item sort clears duplicate removal for the next text sort too.
    Answer([](QDialog& d) { EXPECT_FALSE(d.findChild<QCheckBox*>("1505")->isEnabled()); }, false);
    Run(32506);
    EXPECT_FALSE(g_bSortRemDuplicity);
}

TEST_F(ConversionCommandsTest, ClearAllTabsAsksForAWidthWithinLimitsAndExpandsOnTheWorker) {
    Open();
    In()->SetWindowTextFromString("abc");
    Run(32600);
    EXPECT_EQ(prompter.Messages().back(), "No tabs found in Input window text.");
    In()->SetWindowTextFromString("a\tb");
    Out()->SetWindowTextFromString("kept");
    prompter.texts = {std::string("0"), std::string("300"), std::string("64"), std::string("4")};
    Run(32600);
    EXPECT_EQ(prompter.Messages().back(), "Invalid tab width.");
    Run(32600);
    EXPECT_EQ(prompter.Messages().back().rfind("Invalid tab width.", 0), 0u);
    EXPECT_EQ(g_nTabWidth, 8);
    EXPECT_EQ(Out()->GetText(), "kept");
    Run(32600);
    EXPECT_EQ(prompter.Messages().back(), "Caution:\r\n\r\nTab too big.");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "a" + std::string(63, ' ') + "b");
    Run(32600);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Out()->GetText(), "a   b");
    EXPECT_EQ(g_nTabWidth, 4);
    EXPECT_TRUE(Logged("--- Itr cvt untab over ---"));
}

TEST_F(ConversionCommandsTest, TabulateReadsTheColumnsChecksTheChoiceAndWritesTheTable) {
    Open();
    CTabulateInputTextDlg::ResetRemembered();
    In()->SetWindowTextFromString("id,name\n1,Ann\n22,Bob");
    // A refused choice keeps the dialog open; a valid one tabulates.
    g_runModalHook = [this](QDialog& d) {
        d.open();
        EXPECT_EQ(d.windowTitle(), "Tabulate Text");
        EXPECT_EQ(d.findChild<QLineEdit*>("1608")->text(), ",");
        EXPECT_EQ(d.findChild<QLineEdit*>("1659")->text(), "1 2 ");
        EXPECT_FALSE(d.findChild<QWidget*>("1705")->isVisible());
        d.findChild<QCheckBox*>("1459")->click();  // the selection unfolds
        EXPECT_EQ(d.windowTitle(), "Tabulate Text~");
        EXPECT_TRUE(d.findChild<QWidget*>("1705")->isVisible());
        EXPECT_FALSE(d.findChild<QWidget*>("1438")->isVisible());
        // The column box flashes once as it takes the focus.
        auto* columns = d.findChild<QLineEdit*>("1659");
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        QApplication::sendEvent(columns, &focusIn);
        EXPECT_FALSE(columns->styleSheet().isEmpty());
        EXPECT_TRUE(QTest::qWaitFor([&] { return columns->styleSheet().isEmpty(); }, 10000));
        d.findChild<QLineEdit*>("1659")->setText("3");
        d.findChild<QPushButton*>("1442")->click();
        EXPECT_EQ(prompter.Messages().back(), "Invalid index listed for the column selection: 3");
        EXPECT_TRUE(d.isVisible());
        d.findChild<QLineEdit*>("1659")->setText("2 1");
        d.findChild<QLineEdit*>("1624")->setText("1");
        d.findChild<QPushButton*>("1442")->click();
        EXPECT_FALSE(d.isVisible());
        return d.result();
    };
    Run(32621);
    EXPECT_EQ(Out()->GetText(), "name id\r\nAnn  1\r\nBob  22\r\n");
}

TEST_F(ConversionCommandsTest, WriteSqlPreviewsTheFirstDataLineAndWritesEveryLine) {
    Open();
    CTabulateInputTextDlg::ResetRemembered();
    // A column named by a reserved word is quoted.
    In()->SetWindowTextFromString("id|Select\n7|O'Neil\n8|x");
    Out()->SetWindowTextFromString("kept");
    g_runModalHook = [this](QDialog& d) {
        d.open();
        if (d.windowTitle() == "SQL Preview") {
            EXPECT_EQ(d.findChild<QPlainTextEdit*>("1462")->toPlainText().toStdString(),
                      "UPDATE db..t SET \n    \"Select\" = 'O''Neil'\n WHERE \n    id = 7\n");
            d.findChild<QPushButton*>("1")->click();
            return d.result();
        }
        EXPECT_EQ(d.windowTitle(), "Write SQL");
        d.resize(200, 900);  // the SQL layout keeps its height
        EXPECT_EQ(d.size(), QSize(452, 525));
        auto* list = d.findChild<QTreeWidget*>("1705");
        EXPECT_EQ(list->topLevelItem(0)->text(3), "No");   // 7 is a number
        EXPECT_EQ(list->topLevelItem(1)->text(3), "Yes");
        d.findChild<QPushButton*>("1438")->click();         // no table name yet
        EXPECT_EQ(prompter.Messages().back(), "Emtpy database..table name.");
        d.findChild<QLineEdit*>("1659")->setText("2");
        d.findChild<QLineEdit*>("1660")->setText("1");
        d.findChild<QLineEdit*>("1606")->setText(" db..t ");
        d.findChild<QPushButton*>("1438")->click();
        return d.result();
    };
    Run(32619);
    EXPECT_EQ(Out()->GetText(),
              "UPDATE db..t SET \r\n    \"Select\" = 'O''Neil'\r\n WHERE \r\n    id = 7\r\n\r\n"
              "UPDATE db..t SET \r\n    \"Select\" = 'x'\r\n WHERE \r\n    id = 8\r\n\r\n");
}

TEST_F(ConversionCommandsTest, AttributesEditTheMacroFlagsBesideThePad) {
    Open();
    // A macro of the library goes to the pad the program has not shown yet.
    Run(32636);
    CDefinedMacrosDlg* lib = frame->ConversionCommands().Library();
    QTreeWidget* macros = lib->MacroList();
    ASSERT_GT(macros->topLevelItemCount(), 0);
    macros->clearSelection();
    macros->topLevelItem(0)->setSelected(true);
    macros->setCurrentItem(macros->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    lib->findChild<QPushButton*>("1695")->click();
    lib->reject();
    CAttributesDlg* a = frame->ConversionCommands().Attributes();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->windowTitle(), "Attributes");
    EXPECT_TRUE(a->isVisible());
    EXPECT_TRUE(g_bAttributesShown);
    // The pad's first place: right of the basket column, level with the main
    // window, as tall as the work area less 138.
    const QRect screen = pad->screen()->availableGeometry();
    QTest::qWaitFor([&] { return pad->frameGeometry().top() == frame->frameGeometry().top(); }, 5000);
    EXPECT_EQ(pad->frameGeometry().height(), screen.height() - 138);
    EXPECT_EQ(pad->frameGeometry().top(), frame->frameGeometry().top());
    if (screen.width() >= 450 + pad->frameGeometry().width())
        EXPECT_EQ(pad->frameGeometry().left(), 450);
    // The Attributes window stands left of the pad, not on its corner.
    EXPECT_LT(a->frameGeometry().left(), pad->frameGeometry().left());
    // Left of the pad where the screen has room for both; on the screen always.
    EXPECT_TRUE(screen.contains(a->frameGeometry()));
    EXPECT_TRUE(screen.contains(pad->frameGeometry()));
    if (a->frameGeometry().width() + pad->frameGeometry().width() <= screen.width())
        EXPECT_EQ(a->frameGeometry().right() + 1, pad->frameGeometry().left());
    EXPECT_EQ(a->frameGeometry().top(), pad->frameGeometry().top());
    EXPECT_EQ(a->SymbolBox()->text(), "*");
    const QRect placed = a->frameGeometry();

    // Wild-card in Find turns Replace along; the knobs follow it.
    a->Check(1525)->click();
    EXPECT_TRUE(CurrentMacro.IsFindWild);
    EXPECT_TRUE(CurrentMacro.IsRepWild);
    EXPECT_TRUE(a->Check(1516)->isEnabled());
    a->Check(1516)->click();
    a->Check(1471)->click();
    EXPECT_TRUE(CurrentMacro.IsPerLine);
    EXPECT_TRUE(CurrentMacro.IsDelimParse);
    EXPECT_TRUE(a->findChild<QWidget*>("1892")->isVisible());
    EXPECT_FALSE(a->findChild<QWidget*>("1893")->isVisible());
    EXPECT_TRUE(a->findChild<QWidget*>("1876")->isVisible());  // "Delimiters" only with Delimiter parse
    // What the knobs show does not make the window grow over the pad.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(a->frameGeometry(), placed);
    a->Check(1525)->click();
    EXPECT_FALSE(CurrentMacro.IsFindWild || CurrentMacro.IsRepWild || CurrentMacro.IsPerLine ||
                 CurrentMacro.IsDelimParse);
    EXPECT_FALSE(a->Check(1516)->isChecked());
    EXPECT_FALSE(a->Check(1516)->isEnabled());
    EXPECT_FALSE(a->Check(1526)->isEnabled());
    EXPECT_FALSE(a->KnobsLink()->isEnabled());
    EXPECT_FALSE(a->SymbolBox()->isVisible());
    EXPECT_FALSE(a->findChild<QWidget*>("1876")->isVisible());
    a->Check(1495)->click();
    EXPECT_FALSE(CurrentMacro.IsMatchCase);
    EXPECT_EQ(prompter.Messages().back(), "Ignoring case may cause extra cpu churning and thus undesirable delay.");

    // A macro with knobs but no wild-card shows the on-pictures with unchecked, disabled checks.
    pad->SetCurrentMacro(CMacro("f", "r", 1, 0, 0, 1, 0, 0, 0, 1));
    EXPECT_TRUE(a->findChild<QWidget*>("1892")->isVisible());
    EXPECT_FALSE(a->Check(1516)->isChecked());
    EXPECT_FALSE(a->Check(1516)->isEnabled());

    // Shown, it keeps its distance when the pad moves; hidden, it waits in
    // the pad's lower-left corner.
    const QPoint before = a->pos();
    pad->move(pad->pos() + QPoint(30, 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->pos() == before + QPoint(30, 10); }, 10000));
    EXPECT_EQ(a->pos(), before + QPoint(30, 10));
    QTest::keyClick(a, Qt::Key_Escape);  // its own close hides it
    EXPECT_FALSE(a->isVisible());
    EXPECT_FALSE(g_bAttributesShown);
    pad->move(pad->pos() + QPoint(5, 5));
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->pos().x() == pad->frameGeometry().left() + 4; }, 10000));
    EXPECT_EQ(a->pos().x(), pad->frameGeometry().left() + 4);
    EXPECT_EQ(a->frameGeometry().top(), pad->frameGeometry().bottom() - a->frameGeometry().height() - 54);
    Run(32642);
    EXPECT_TRUE(a->isVisible());

    // The pad's Close hides both.
    pad->findChild<QPushButton*>("2")->click();
    EXPECT_FALSE(a->isVisible());
    EXPECT_FALSE(g_bAttributesShown);
}

TEST_F(ConversionCommandsTest, KnobLinksAndHelpOpenTheRulesOnEveryTopicWithAPage) {
    Open();
    Run(32632);
    CTextConversionRulesDlg* r = frame->ConversionCommands().Rules();
    EXPECT_EQ(r->windowTitle(), "Text Conversion Rules");
    EXPECT_TRUE(r->isVisible());
    EXPECT_EQ(r->CurrentTopic(), 2);  // opens on "Qualifiers"
    EXPECT_EQ(r->CurrentPage(), r->TextPage());
    EXPECT_TRUE(r->TextPage()->text().startsWith("Slide show for qualifiers"));

    // Every topic shows a page that is not empty.
    QTreeWidgetItemIterator it(r->Tree());
    int topics = 0;
    for (; *it; ++it, ++topics) {
        r->Tree()->setCurrentItem(*it);
        auto* page = qobject_cast<QLabel*>(r->CurrentPage());
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->isVisible()) << (*it)->text(0).toStdString();
        EXPECT_FALSE(page->text().trimmed().isEmpty()) << (*it)->text(0).toStdString();
        EXPECT_EQ((*it)->childCount() > 0, page == r->TextPage()) << (*it)->text(0).toStdString();
    }
    EXPECT_EQ(topics, 27);
    r->findChild<QPushButton*>("1")->click();
    EXPECT_FALSE(r->isVisible());

    // "Knobs..." runs the knobs dialog; its links open the knob pages.
    Run(32642);
    g_runModalHook = [](QDialog& d) {
        d.open();
        EXPECT_EQ(d.windowTitle(), "Knobs for Find and Replace");
        d.findChild<CHyperLink*>("1870")->Click();  // Compact construct
        d.reject();
        return d.result();
    };
    CAttributesDlg* a = frame->ConversionCommands().Attributes();
    a->Check(1525)->click();
    a->KnobsLink()->Click();
    EXPECT_TRUE(r->isVisible());
    EXPECT_EQ(r->CurrentTopic(), 1052);
    EXPECT_EQ(r->CurrentPage()->objectName(), "1256");
    // The pad's Help shows the page last chosen.
    r->hide();
    pad->findChild<QPushButton*>("32632")->click();
    EXPECT_TRUE(r->isVisible());
    EXPECT_EQ(r->CurrentTopic(), 1052);
}

TEST_F(ConversionCommandsTest, ClosingTheWindowDuringAConversionEndsTheWorkerAndWithdrawsTheBoxes) {
    Open();
    std::string big;
    while (big.size() < (4u << 20)) big += "alpha beta gamma delta\n";
    In()->SetWindowTextFromString(big);
    pad->SetCurrentMacro(CMacro("beta", "BETA"));
    Run(32643);
    EXPECT_FALSE(g_bConversionIdle);
    frame->close();
    frame.reset();
    EXPECT_TRUE(g_bConversionIdle);
    EXPECT_FALSE(g_bConversionBreak);
    EXPECT_EQ(g_pInputWindow, nullptr);
    EXPECT_EQ(g_pOutputWindow, nullptr);
    QTest::qWait(20);  // a result posted by the ended worker finds nobody
}

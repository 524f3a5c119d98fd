#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "convert_ui/WorkPadRun.h"
#include "model/Globals.h"
#include "UiFixture.h"

namespace {
using LineTextBoxTest = UiTest;

// "é" is two bytes and one character, "😀" four bytes and two (a surrogate pair).
const std::string kCafe = "caf\xc3\xa9";
const std::string kSmile = "\xf0\x9f\x98\x80";

struct Box {
    explicit Box(int role = 0) : box(role) {
        box.resize(400, 200);
        box.show();
        (void)QTest::qWaitForWindowExposed(&box, 30000);
        box.setFocus();
        QApplication::setActiveWindow(&box);
    }
    ~Box() { box.close(); }
    CLineTextBox* operator->() { return &box; }
    CLineTextBox box;
};

void Keys(CLineTextBox& box, const QString& text) { QTest::keyClicks(&box, text); }
// A typed character beyond ASCII, as a keyboard layout delivers it.
void Type(CLineTextBox& box, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(&box, &press);
}
void Key(CLineTextBox& box, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(&box, key, mods);
}
}  // namespace

TEST_F(LineTextBoxTest, KeepsItsTextAsCrLfLines) {
    CLineTextBox box;
    EXPECT_EQ(box.GetText(), "");
    EXPECT_EQ(box.LineCount(), 1);
    EXPECT_EQ(box.CharacterCount(), 0);

    box.SetWindowTextFromString("one\ntwo\r\nthree");
    EXPECT_EQ(box.GetText(), "one\r\ntwo\r\nthree");
    EXPECT_EQ(box.toPlainText(), "one\ntwo\nthree");
    EXPECT_EQ(box.LineCount(), 3);
    EXPECT_EQ(box.LineText(2), "three");  // a last line without a break
    EXPECT_EQ(box.GetFirstLine(), "one");
    EXPECT_EQ(box.GetSecondLine(), "two");
    EXPECT_EQ(box.CharacterCount(), 13);

    // A text ending with a break has an empty last line; a lone CR is no break.
    box.SetWindowTextFromString("a\rb\n");
    EXPECT_EQ(box.GetText(), "a\rb\r\n");
    EXPECT_EQ(box.LineCount(), 2);
    EXPECT_EQ(box.LineText(0), "a\rb");
    EXPECT_EQ(box.LineText(1), "");

    // A string handed over is taken as it is, with its lines indexed.
    std::string big;
    for (int i = 0; i < 100000; ++i) big += "line " + std::to_string(i) + "\r\n";
    big += "end";
    const std::string copy = big;
    box.TakeText(std::move(big));
    EXPECT_EQ(box.LineCount(), 100001);
    EXPECT_EQ(box.LineText(54321), "line 54321");
    EXPECT_EQ(box.LineText(100000), "end");
    EXPECT_EQ(box.GetText(), copy);
    EXPECT_EQ(box.Position(), 0);
}

TEST_F(LineTextBoxTest, PositionsCountCharactersAsTheEngineMapsThem) {
    CLineTextBox box;
    const std::string text = kCafe + " " + kSmile + "x\r\n\r\n\t" + kCafe + "\r\nend";
    box.SetWindowTextFromString(text);
    // Every character boundary of the CR LF text has the box position the
    // engine's mapping gives it, and back.
    for (std::size_t o = 0; o <= text.size(); ++o) {
        const unsigned char c = static_cast<unsigned char>(o < text.size() ? text[o] : 0);
        if ((c & 0xC0) == 0x80 || (o > 0 && c == '\n')) continue;
        const int pos = BoxPositionOfOffset(text, o);
        box.SetSelection(0, pos);
        EXPECT_EQ(box.SelectedText(), text.substr(0, o)) << o;
        EXPECT_EQ(box.Position(), pos) << o;
    }
    box.SetSelection(0, 4);
    EXPECT_EQ(box.SelectedText(), kCafe);
    box.SetSelection(5, 7);
    EXPECT_EQ(box.SelectedText(), kSmile);
    EXPECT_EQ(box.SelectionStart(), 5);
    EXPECT_EQ(box.SelectionEnd(), 7);
    // The caret text counts the line and the characters before the selection start.
    box.SetSelection(BoxPositionOfOffset(text, text.find("end") + 2), BoxPositionOfOffset(text, text.find("end")));
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 4, Col 1");
    EXPECT_EQ(box.SelectedText(), "en");
    box.SetCaret(8);
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 1, Col 9");
    EXPECT_EQ(box.LineOfPosition(8), 0);
    EXPECT_EQ(box.LineOfPosition(9), 1);
    // Positions past the end stand at the end.
    box.SetCaret(100000);
    EXPECT_EQ(box.Position(), box.CharacterCount());
    box.selectAll();
    EXPECT_EQ(box.SelectedText(), text);
}

TEST_F(LineTextBoxTest, TypingEditsAndUndoesLikeATextBox) {
    Box b;
    CLineTextBox& box = b.box;
    QSignalSpy changed(&box, &CLineTextBox::textChanged);
    Keys(box, "abc");
    Key(box, Qt::Key_Return);
    Keys(box, "d");
    Key(box, Qt::Key_Tab);
    Type(box, QString::fromUtf8("\xc3\xa9"));
    EXPECT_EQ(box.GetText(), "abc\r\nd\t\xc3\xa9");
    EXPECT_GE(changed.count(), 6);
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 2, Col 4");

    // Left over "é" and the tab, Backspace takes "d"; over the line break at once.
    Key(box, Qt::Key_Left);
    Key(box, Qt::Key_Left);
    Key(box, Qt::Key_Backspace);
    EXPECT_EQ(box.GetText(), "abc\r\n\t\xc3\xa9");
    Key(box, Qt::Key_Backspace);
    EXPECT_EQ(box.GetText(), "abc\t\xc3\xa9");
    Key(box, Qt::Key_Delete);
    EXPECT_EQ(box.GetText(), "abc\xc3\xa9");
    Key(box, Qt::Key_Delete);
    EXPECT_EQ(box.GetText(), "abc");

    // Undo goes back step by step, the typed letters together; redo forth.
    box.undo();
    EXPECT_EQ(box.GetText(), "abc\xc3\xa9");
    box.undo();
    box.undo();
    box.undo();
    EXPECT_EQ(box.GetText(), "abc\r\nd\t\xc3\xa9");
    Key(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "abc\r\n");
    Key(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "abc");
    Key(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "");
    EXPECT_FALSE(box.IsUndoAvailable());
    Key(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box.GetText(), "abc");
    Key(box, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "abc\r\n");
    // A new edit drops what could be redone.
    Keys(box, "x");
    EXPECT_FALSE(box.IsRedoAvailable());
    EXPECT_EQ(box.GetText(), "abc\r\nx");

    // A typed letter replaces the selection, as one step.
    box.SetWindowTextFromString("hello world");
    EXPECT_FALSE(box.IsUndoAvailable());  // a new text has no history
    box.SetSelection(0, 5);
    Keys(box, "J");
    EXPECT_EQ(box.GetText(), "J world");
    box.undo();
    EXPECT_EQ(box.GetText(), "hello world");
    EXPECT_EQ(box.SelectedText(), "hello");

    // Text an input method commits goes in as typed.
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("\xe6\x97\xa5"));
    QApplication::sendEvent(&box, &commit);
    EXPECT_EQ(box.GetText(), "\xe6\x97\xa5 world");
}

TEST_F(LineTextBoxTest, KeysMoveAndSelect) {
    Box b;
    CLineTextBox& box = b.box;
    box.SetWindowTextFromString("first line\r\nab\r\n" + kCafe + " au lait\r\nlast");
    box.SetCaret(0);
    Key(box, Qt::Key_End);
    EXPECT_EQ(box.Position(), 10);
    // Up and Down keep the column they started at.
    Key(box, Qt::Key_Down);
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 2, Col 3");
    Key(box, Qt::Key_Down);
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 3, Col 11");
    Key(box, Qt::Key_Home);
    Key(box, Qt::Key_Right, Qt::ShiftModifier);
    Key(box, Qt::Key_Right, Qt::ShiftModifier);
    Key(box, Qt::Key_Right, Qt::ShiftModifier);
    Key(box, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(box.SelectedText(), kCafe);
    Key(box, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box.SelectedText(), kCafe + " ");  // to the start of the next word
    Key(box, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box.SelectedText(), kCafe + " au ");
    Key(box, Qt::Key_Left);  // a selection collapses to its start
    EXPECT_FALSE(box.HasSelection());
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 3, Col 1");
    Key(box, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(box.SelectedText(), kCafe + " au lait\r\nlast");
    Key(box, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(box.Position(), 0);
    Key(box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(box.SelectedText(), box.GetText());
    EXPECT_EQ(box.UpdateCaretPosition(), " Ln 1, Col 1");  // of the selection start

    // The window's own keys go past the box to the window's shortcuts.
    QKeyEvent save(QEvent::ShortcutOverride, Qt::Key_S, Qt::ControlModifier);
    save.ignore();
    QApplication::sendEvent(&box, &save);
    EXPECT_FALSE(save.isAccepted());
    QKeyEvent copy(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier);
    copy.ignore();
    QApplication::sendEvent(&box, &copy);
    EXPECT_TRUE(copy.isAccepted());
}

TEST_F(LineTextBoxTest, ClipboardCarriesLfTextAndReadOnlyRefusesEdits) {
    Box b;
    CLineTextBox& box = b.box;
    box.SetWindowTextFromString("one\r\ntwo\r\nthree");
    box.SetSelection(2, 6);
    Key(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "e\ntw");
    box.cut();
    EXPECT_EQ(box.GetText(), "ono\r\nthree");
    QApplication::clipboard()->setText(QString::fromUtf8("X\nY\n\xc3\xa9"));
    box.SetCaret(box.CharacterCount());
    Key(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "ono\r\nthreeX\r\nY\r\n\xc3\xa9");
    EXPECT_EQ(box.LineCount(), 4);
    box.undo();
    EXPECT_EQ(box.GetText(), "ono\r\nthree");

    box.setReadOnly(true);
    box.SetSelection(0, 3);
    Keys(box, "zz");
    Key(box, Qt::Key_Delete);
    Key(box, Qt::Key_Return);
    box.paste();
    box.cut();
    Key(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "ono\r\nthree");
    Key(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "ono");
    // The program itself still writes a read-only box.
    box.ReplaceSelection("new");
    EXPECT_EQ(box.GetText(), "new\r\nthree");

    // Copy with nothing selected copies the whole text and leaves it selected.
    box.SetCaret(0);
    Key(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "new\nthree");
    EXPECT_EQ(box.SelectedText(), box.GetText());
    box.setReadOnly(false);
    box.SetCaret(2);
    Key(box, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(box.GetText(), "");
    box.SetWindowTextFromString("new\r\nthree");
    box.setReadOnly(true);
    // The Input box puts its text to the clipboard when asked, caret at the start.
    g_bInputShowsTitle = true;
    box.SetTextAndSelect("a\r\nb", true);
    EXPECT_FALSE(g_bInputShowsTitle);
    EXPECT_EQ(QApplication::clipboard()->text(), "a\nb");
    EXPECT_EQ(box.Position(), 0);
}

TEST_F(LineTextBoxTest, MouseSetsCaretAndSelection) {
    Box b(1);
    CLineTextBox& box = b.box;
    QLabel caret;
    box.SetCaretLabel(&caret);
    box.SetWindowTextFromString("alpha beta\r\n" + kCafe + " gamma\r\nz");
    g_bInputShowsTitle = false;
    auto at = [&](int pos) { return box.PointOfPosition(pos); };
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(13));
    EXPECT_EQ(box.Position(), 13);
    EXPECT_EQ(caret.text(), " Ln 2, Col 3");
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::ShiftModifier, at(16));
    EXPECT_EQ(box.SelectedText(), "f\xc3\xa9 ");
    // A drag selects from the press to the release.
    QTest::mousePress(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(2));
    QMouseEvent move(QEvent::MouseMove, QPointF(at(8)), box.viewport()->mapToGlobal(QPointF(at(8))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &move);
    QTest::mouseRelease(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(8));
    EXPECT_EQ(box.SelectedText(), "pha be");
    // A drag held below the box goes on selecting down the text.
    std::string rows;
    for (int i = 0; i < 200; ++i) rows += "row " + std::to_string(i) + "\r\n";
    box.SetWindowTextFromString(rows);
    QTest::mousePress(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(0));
    const QPointF below(20, box.viewport()->height() + 30);
    QMouseEvent out(QEvent::MouseMove, below, box.viewport()->mapToGlobal(below), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(box.viewport(), &out);
    const int firstStop = box.LineOfPosition(box.Position());
    for (int waited = 0; waited < 3000 && box.LineOfPosition(box.Position()) <= firstStop + 3; waited += 20)
        QTest::qWait(20);
    EXPECT_GT(box.LineOfPosition(box.Position()), firstStop + 3);
    EXPECT_GT(box.verticalScrollBar()->value(), 3);
    QTest::mouseRelease(box.viewport(), Qt::LeftButton, Qt::NoModifier, below.toPoint());
    const int released = box.Position();
    QTest::qWait(150);
    EXPECT_EQ(box.Position(), released);
    EXPECT_EQ(box.SelectionStart(), 0);
    box.SetWindowTextFromString("alpha beta\r\n" + kCafe + " gamma\r\nz");

    // A double click takes the word.
    QTest::mouseDClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(13));
    EXPECT_EQ(box.SelectedText(), kCafe);
    // A third click takes the line.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(13));
    EXPECT_EQ(box.SelectedText(), kCafe + " gamma\r\n");
    // A click below the last line goes to the text's end.
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 190));
    EXPECT_EQ(box.Position(), box.CharacterCount());

    // While the box still shows its caption, the first click empties it.
    box.SetWindowTextFromString("Input Text");
    g_bInputShowsTitle = true;
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(3));
    EXPECT_EQ(box.GetText(), "");
    EXPECT_FALSE(g_bInputShowsTitle);
    box.SetWindowTextFromString("kept");
    QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::NoModifier, at(1));
    EXPECT_EQ(box.GetText(), "kept");
}

TEST_F(LineTextBoxTest, LongLinesAndLongTextsScrollAndPaint) {
    Box b;
    CLineTextBox& box = b.box;
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "row " + std::to_string(i) + "\r\n";
    std::string wide(100000, 'w');
    wide.replace(50000, 1, kSmile);
    text += wide + "\r\n\tend";
    box.SetWindowTextFromString(text);
    QScrollBar* v = box.verticalScrollBar();
    QScrollBar* h = box.horizontalScrollBar();
    EXPECT_GT(v->maximum(), 4900);
    EXPECT_GT(h->maximum(), 99000 * 5);
    // Ctrl+End shows the last line, End of the long line scrolls right; the
    // lines in sight are those above the horizontal scroll bar.
    QApplication::processEvents();
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(v->maximum(), box.LineCount() - v->pageStep());
    EXPECT_EQ(v->pageStep(), box.viewport()->height() / (box.PointOfPosition(0).y() * 2));
    Key(box, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(v->value(), v->maximum());
    EXPECT_TRUE(box.viewport()->rect().contains(box.PointOfPosition(box.Position())));
    Key(box, Qt::Key_Up);
    Key(box, Qt::Key_End);
    EXPECT_GT(h->value(), 99000 * 5);
    EXPECT_EQ(box.LineOfPosition(box.Position()), 5000);
    const QPoint p = box.PointOfPosition(box.Position());
    EXPECT_TRUE(box.viewport()->rect().contains(p));
    QImage shot = box.viewport()->grab().toImage();
    EXPECT_FALSE(shot.isNull());
    // Home goes back to the left; Page Down moves a page of lines.
    Key(box, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(v->value(), 0);
    EXPECT_EQ(h->value(), 0);
    Key(box, Qt::Key_PageDown);
    EXPECT_EQ(box.LineOfPosition(box.Position()), v->pageStep());
    // The wheel scrolls lines.
    QWheelEvent wheel(QPointF(50, 50), box.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -240),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const int before = v->value();
    QApplication::sendEvent(box.viewport(), &wheel);
    EXPECT_GT(v->value(), before);

    // An edit in the middle of a long text and its undo give back the same text.
    box.SetCaret(box.PointOfPosition(0).x() >= 0 ? 20000 : 0);
    Keys(box, "inserted");
    Key(box, Qt::Key_Return);
    EXPECT_EQ(box.LineCount(), 5003);
    box.undo();
    box.undo();
    EXPECT_EQ(box.GetText(), text);

    // A paste that brings the horizontal scroll bar still shows the caret.
    box.SetWindowTextFromString("short\r\nlines");
    QApplication::processEvents();
    EXPECT_FALSE(h->isVisible());
    QApplication::clipboard()->setText(QString::fromStdString(text));
    Key(box, Qt::Key_End, Qt::ControlModifier);
    Key(box, Qt::Key_V, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_TRUE(h->isVisible());
    EXPECT_TRUE(box.viewport()->rect().contains(box.PointOfPosition(box.Position())));

    // A role 3 box leads the scrolling of its partner.
    CLineTextBox left(3), right(4);
    left.resize(200, 100);
    right.resize(200, 100);
    left.SetScrollPartner(&right);
    left.SetWindowTextFromString(text);
    right.SetWindowTextFromString(text);
    left.verticalScrollBar()->setValue(300);
    EXPECT_EQ(right.verticalScrollBar()->value(), 300);

    // The box paints an empty text, a selection and multi-byte characters.
    box.SetWindowTextFromString("");
    EXPECT_FALSE(box.viewport()->grab().toImage().isNull());
    box.SetWindowTextFromString(kCafe + "\t" + kSmile + "\r\n\xe4\xb8\xad\xe6\x96\x87 x");
    box.selectAll();
    const QImage painted = box.viewport()->grab().toImage();
    const QColor highlight = box.palette().color(QPalette::Active, QPalette::Highlight);
    const QPoint inSel = box.PointOfPosition(1) + QPoint(2, 0);
    EXPECT_EQ(painted.pixelColor(inSel * painted.devicePixelRatio()), highlight);
}

TEST_F(LineTextBoxTest, ColouredTextFollowsEdits) {
    CLineTextBox box;
    box.SetWindowTextFromString("one cat\r\ntwo cat");
    const QColor red(255, 10, 0);
    box.SetForeground(4, 7, red);
    EXPECT_EQ(box.ForegroundAt(5), red);
    EXPECT_NE(box.ForegroundAt(3), red);
    EXPECT_NE(box.ForegroundAt(7), red);
    // Text put in before the match moves its colour along; the rest keeps none.
    box.SetCaret(0);
    box.ReplaceSelection("a\r\n");
    EXPECT_EQ(box.ForegroundAt(8), red);
    EXPECT_NE(box.ForegroundAt(5), red);
    EXPECT_NE(box.ForegroundAt(13), red);
    box.SetWindowTextFromString("fresh");
    EXPECT_NE(box.ForegroundAt(1), red);
}

TEST_F(LineTextBoxTest, DroppedFilesAndTheContextMenu) {
    Box b(2);
    CLineTextBox& box = b.box;
    const std::string file = tmp / "dropped.txt";
    std::ofstream(file) << "dropped\nlines\n";
    g_nActiveTextWindow = 2;
    g_bOutputShowsTitle = true;
    EXPECT_FALSE(box.LoadDroppedFiles({tmp.path(), file}));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_EQ(prompter.Messages().back(), "Directory or hidden file not allowed.");
    EXPECT_TRUE(box.LoadDroppedFiles({file}));
    EXPECT_EQ(box.GetText(), "dropped\r\nlines\r\n");
    EXPECT_FALSE(g_bOutputShowsTitle);

    box.SetSelection(0, 7);
    QTest::mouseClick(box.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(20, 10));
    QMenu* menu = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) menu = m;
    ASSERT_NE(menu, nullptr);
    QStringList enabled;
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->isEnabled()) enabled << a->text();
    EXPECT_TRUE(enabled.contains("Cu&t"));
    EXPECT_TRUE(enabled.contains("&Copy"));
    EXPECT_TRUE(enabled.contains("Select All"));
    EXPECT_FALSE(enabled.contains("&Redo"));
    menu->close();
    QApplication::processEvents();

    // Roles 3 and 4 show the window's menu instead.
    CLineTextBox dialogBox(4);
    dialogBox.resize(100, 100);
    QPoint shownAt;
    dialogBox.SetContextMenuProvider([&](const QPoint& p) { shownAt = p; });
    QTest::mouseClick(dialogBox.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(shownAt, dialogBox.viewport()->mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(g_nActiveTextWindow, 2);
}

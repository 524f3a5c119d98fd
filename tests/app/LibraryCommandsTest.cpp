// The library manager and its editors, driven on the window as the program
// opens it; modal editors run through the test's modal runner.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include "widgets/LineTextBox.h"
#include "widgets/TextWindows.h"
#include "app/ConversionCommands.h"
#include "app/MessageWindowBar.h"
#include "app/QtPrompter.h"
#include "widgets/SharedDialogs.h"
#include "app/MainFrame.h"
#include "convert/ConversionRun.h"
#include "convert_ui/ui/AttributesDlg.h"
#include "convert_ui/ui/DefineMacroDlg.h"
#include "convert_ui/ui/DefinedMacrosDlg.h"
#include "convert_ui/ui/DelimiterListDlg.h"
#include "convert_ui/ui/InteractiveTextConversionDlg.h"
#include "convert_ui/ui/ModalRun.h"
#include "convert_ui/ui/WildCardManagerDlg.h"
#include "UiFixture.h"

namespace {

QStringList Column(QTreeWidget* list, int c) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
    return out;
}

std::vector<int> Selected(QTreeWidget* list) {
    std::vector<int> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void Select(QTreeWidget* list, std::initializer_list<int> rows) {
    list->clearSelection();
    for (int r : rows) list->topLevelItem(r)->setSelected(true);
    if (rows.size()) list->setCurrentItem(list->topLevelItem(*rows.begin()), 0, QItemSelectionModel::NoUpdate);
}

template <class T>
T* Child(QWidget& w, const char* id) {
    T* c = w.findChild<T*>(id);
    EXPECT_NE(c, nullptr) << id;
    return c;
}

void Press(QWidget& w, const char* id) { Child<QAbstractButton>(w, id)->click(); }

class LibraryCommandsTest : public UiTest {
protected:
    void TearDown() override {
        g_runModalHook = nullptr;
        frame.reset();
        g_nLibIndex = 0;
        UiTest::TearDown();
    }
    void Open() {
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->show();
        lib = frame->ConversionCommands().Library();
        ASSERT_NE(lib, nullptr);
        // The load fills the manager's lists before it was ever opened, so
        // the batch window can name the active library.
        EXPECT_EQ(lib->GetSelectedLibraryName(), Libs()[g_nLibIndex].LibName);
        ASSERT_TRUE(frame->IsCommandEnabled(32636));
        frame->ExecuteCommand(32636);
    }
    CLibraryList& Libs() { return frame->Data().m_LibraryList; }
    // The next modal dialog runs fn, then its OK ("1") or Cancel ("2") is pressed.
    void NextModal(std::function<void(QDialog&)> fn, bool ok = true) {
        g_runModalHook = [fn, ok](QDialog& d) {
            d.open();
            fn(d);
            if (d.isVisible()) Press(d, ok ? "1" : "2");
            return d.result();
        };
    }
    std::unique_ptr<CMainFrame> frame;
    CDefinedMacrosDlg* lib = nullptr;
};

TEST_F(LibraryCommandsTest, ManagerListsLibrariesAndEditsMacros) {
    Open();
    EXPECT_TRUE(lib->isVisible());
    EXPECT_TRUE(g_bDefinedMacrosShown);
    EXPECT_EQ(lib->windowTitle(), "Text Conversion Library");
    QTreeWidget* libs = lib->LibraryList();
    QTreeWidget* macros = lib->MacroList();
    ASSERT_EQ(libs->topLevelItemCount(), Libs().GetCount());
    EXPECT_EQ(lib->GetSelectedLibraryName(), Libs().GetLibName(g_nLibIndex));

    // A new library after the selected one becomes active and empty.
    prompter.texts = {std::string(""), std::string("Words")};
    Press(*lib, "1319");
    const int pos = g_nLibIndex;
    EXPECT_EQ(Libs().GetLibName(pos), "Words");
    EXPECT_EQ(Libs().CurrentLibrary, pos);
    EXPECT_EQ(macros->topLevelItemCount(), 0);
    EXPECT_EQ(lib->GetSelectedLibraryName(), "Words");

    // Three macros through the Define Macro dialog.
    for (const char* find : {"b\r\nx", "a", "c"}) {
        NextModal([find](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Find and Replace");
            Child<QPlainTextEdit>(static_cast<QWidget&>(d), "1633")->setPlainText(QString(find).remove('\r'));
            Child<QPlainTextEdit>(static_cast<QWidget&>(d), "1631")->setPlainText("R");
        });
        Press(*lib, "1321");
    }
    auto* list = &Libs()[pos].MacroList;
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ((*list)[0].Find, "b\r\nx");
    EXPECT_EQ(Column(macros, 0), QStringList({"b\\nx", "a", "c"}));
    EXPECT_EQ(Selected(macros), std::vector<int>{2});

    // Sorting the whole list by Find after the question.
    Select(macros, {0, 1, 2});
    prompter.answers = {Answer::Yes};
    lib->OnHeaderItemClick(0);
    EXPECT_EQ(prompter.Questions().back(), "This will sort the selected items.\r\nAre you sure?");
    EXPECT_EQ(Column(macros, 0), QStringList({"a", "b\\nx", "c"}));
    // A heading that does not sort explains itself.
    lib->OnHeaderItemClick(1);
    EXPECT_NE(prompter.Messages().back().find("(Sorting by this field is not allowed.)"), std::string::npos);

    // Duplicate, deactivate, move a block, delete.
    Select(macros, {0});
    Press(*lib, "1594");
    EXPECT_EQ(Column(macros, 0), QStringList({"a", "a~", "b\\nx", "c"}));
    Select(macros, {1, 2});
    Press(*lib, "1550");
    EXPECT_EQ(Column(macros, 6), QStringList({"Yes", "No", "No", "Yes"}));
    EXPECT_EQ(macros->topLevelItem(1)->data(0, Qt::UserRole).toInt(), 0);
    Press(*lib, "1326");  // up: the block keeps its order
    EXPECT_EQ(Column(macros, 0), QStringList({"a~", "b\\nx", "a", "c"}));
    EXPECT_EQ(Selected(macros), (std::vector<int>{0, 1}));
    Press(*lib, "1326");  // the block is at the top: nothing moves
    EXPECT_EQ(Column(macros, 0), QStringList({"a~", "b\\nx", "a", "c"}));
    Press(*lib, "1558");
    EXPECT_EQ(Column(macros, 0), QStringList({"a", "c"}));
    EXPECT_EQ(Selected(macros), std::vector<int>{0});

    // Modify attributes of several macros: texts stay.
    Select(macros, {0, 1});
    NextModal([](QDialog& d) {
        EXPECT_TRUE(Child<QPlainTextEdit>(static_cast<QWidget&>(d), "1633")->isReadOnly());
        EXPECT_TRUE(Child<QPlainTextEdit>(static_cast<QWidget&>(d), "1633")->toPlainText().isEmpty());
        Press(d, "1525");
        Press(d, "1515");
    });
    Press(*lib, "1752");
    list = &Libs()[pos].MacroList;
    EXPECT_EQ((*list)[1].Find, "c");
    EXPECT_EQ(Column(macros, 5), QStringList({"P-x-x-x", "P-x-x-x"}));

    // The macro goes to the WorkPad.
    Select(macros, {1});
    Press(*lib, "1695");
    EXPECT_EQ(CurrentMacro.Find, "c");
    EXPECT_TRUE(frame->ConversionCommands().WorkPad().isVisible());
    EXPECT_EQ(frame->ConversionCommands().WorkPad().FindBox()->toPlainText(), "c");

    // Moving the library up makes it active at its new place.
    Select(libs, {pos});
    if (pos > 0) {
        Press(*lib, "1327");
        EXPECT_EQ(g_nLibIndex, pos - 1);
        EXPECT_EQ(Libs().GetLibName(pos - 1), "Words");
        EXPECT_EQ(Column(macros, 0), QStringList({"a", "c"}));
    }

    // Delete the library only after Yes.
    const int count = Libs().GetCount();
    prompter.answers = {Answer::No};
    Press(*lib, "1557");
    EXPECT_EQ(Libs().GetCount(), count);
    prompter.answers = {Answer::Yes};
    Press(*lib, "1557");
    EXPECT_EQ(Libs().GetCount(), count - 1);
    EXPECT_EQ(libs->topLevelItemCount(), count - 1);

    Press(*lib, "1");
    EXPECT_FALSE(lib->isVisible());
    EXPECT_FALSE(g_bDefinedMacrosShown);
}

TEST_F(LibraryCommandsTest, AddingAMacroWithoutLibrariesMakesTheSample) {
    Open();
    while (Libs().GetCount() > 0) Libs().DeleteLibrary(0);
    lib->RefillLibraryList();
    lib->FillMacroList();
    NextModal([](QDialog& d) { Child<QPlainTextEdit>(static_cast<QWidget&>(d), "1633")->setPlainText("new"); });
    Press(*lib, "1321");
    ASSERT_EQ(Libs().GetCount(), 1);
    EXPECT_EQ(Libs().GetLibName(0), "Find Rep library (sample)");
    EXPECT_EQ(Column(lib->LibraryList(), 0), QStringList({"Find Rep library (sample)"}));
    ASSERT_EQ(Libs()[0].MacroList.size(), 2u);
    EXPECT_EQ(Libs()[0].MacroList[1].Find, "new");
    EXPECT_EQ(lib->MacroList()->topLevelItemCount(), 2);
}

TEST_F(LibraryCommandsTest, ImportMacrosFromOtherLibraries) {
    Open();
    Libs().Clear();
    Libs().InsertLibrary(0, "A");
    Libs().InsertLibrary(1, "B");
    Libs()[0].MacroList.emplace_back("a1", "");
    Libs()[1].MacroList.emplace_back("b1", "");
    Libs()[1].MacroList.emplace_back("b2", "");
    g_nLibIndex = 0;
    Libs().CurrentLibrary = 0;
    lib->RefillLibraryList();
    lib->FillMacroList();
    NextModal([](QDialog& d) {
        auto* list = d.findChild<QTreeWidget*>();
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setSelected(true);
    });
    Press(*lib, "1745");
    EXPECT_EQ(Column(lib->MacroList(), 0), QStringList({"a1", "b1", "b2"}));
}

TEST_F(LibraryCommandsTest, DefineMacroDialogFlags) {
    CDefineMacroDlg fresh("*", true);
    fresh.open();
    fresh.resize(2000, 2000);
    EXPECT_EQ(fresh.size(), QSize(1200, 1000));
    auto* findWild = Child<QCheckBox>(fresh, "1525");
    auto* repWild = Child<QCheckBox>(fresh, "1526");
    EXPECT_TRUE(Child<QCheckBox>(fresh, "1495")->isChecked());
    EXPECT_FALSE(repWild->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(fresh, "1694")->isVisible());
    for (const char* id : {"1515", "1513", "1518", "1470"}) EXPECT_FALSE(Child<QCheckBox>(fresh, id)->isEnabled());
    findWild->click();
    EXPECT_TRUE(repWild->isChecked());
    EXPECT_TRUE(repWild->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>(fresh, "1694")->isVisible());
    Child<QCheckBox>(fresh, "1470")->click();
    findWild->click();
    EXPECT_FALSE(repWild->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(fresh, "1470")->isChecked());
    // An empty Find keeps the dialog open without a word.
    Press(fresh, "1");
    EXPECT_TRUE(fresh.isVisible());
    Child<QPlainTextEdit>(fresh, "1633")->setPlainText("\n\n");
    Press(fresh, "1");
    EXPECT_EQ(fresh.result(), QDialog::Accepted);
    EXPECT_EQ(fresh.m_strFind, "\r\n\r\n");

    // A stored Replace wild-card without Find wild-card comes back off.
    CMacro odd("f", "r");
    odd.IsRepWild = 1;
    CDefineMacroDlg edit("*", odd, true);
    edit.open();
    EXPECT_FALSE(Child<QCheckBox>(edit, "1526")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>(edit, "1526")->isEnabled());
    Press(edit, "1");
    EXPECT_EQ(edit.Result().IsRepWild, 0);
    EXPECT_EQ(edit.Result().Find, "f");
}

TEST_F(LibraryCommandsTest, DelimiterListEditsACopy) {
    Open();
    const auto before = Libs()[g_nLibIndex].DelimList;
    ASSERT_EQ(before.size(), 10u);
    NextModal(
        [](QDialog& d) {
            EXPECT_EQ(d.windowTitle(), "Delimiter List");
            auto& dlg = static_cast<CDelimiterListDlg&>(d);
            EXPECT_EQ(Column(dlg.List(), 0),
                      QStringList({",", "|", ":", "#", "\\b", "{", "(", "[", "<", "/"}));
            Press(d, "1556");  // deleting asks nothing
            EXPECT_EQ(dlg.List()->topLevelItemCount(), 9);
        },
        false);
    Press(*lib, "1366");
    EXPECT_EQ(Libs()[g_nLibIndex].DelimList.size(), 10u);  // Cancel changed nothing

    NextModal([this](QDialog& d) {
        auto& dlg = static_cast<CDelimiterListDlg&>(d);
        QWidget& w = d;
        Child<QRadioButton>(w, "1817")->click();
        Child<QLineEdit>(w, "1609")->setText("(");
        Child<QLineEdit>(w, "1610")->setText("]");
        Press(w, "1315");
        EXPECT_EQ(prompter.Messages().back(), "Already listed.");
        Child<QLineEdit>(w, "1610")->clear();
        Child<QLineEdit>(w, "1609")->setText("<<");
        Press(w, "1315");
        EXPECT_EQ(prompter.Messages().back(), "Empty \"End\" delimeter.");
        Child<QLineEdit>(w, "1610")->setText(">>");
        Select(dlg.List(), {2});
        Press(w, "1315");
        EXPECT_EQ(dlg.List()->topLevelItem(3)->text(0), "<<");
        Child<QRadioButton>(w, "1818")->click();
        Child<QLineEdit>(w, "1611")->setText(";");
        Select(dlg.List(), {});
        Press(w, "1315");
        EXPECT_EQ(dlg.List()->topLevelItem(11)->text(0), ";");
        Select(dlg.List(), {0});
        Press(w, "1324");
        EXPECT_EQ(Selected(dlg.List()), std::vector<int>{1});
    });
    Press(*lib, "1366");
    const auto& after = Libs()[g_nLibIndex].DelimList;
    ASSERT_EQ(after.size(), 12u);
    EXPECT_EQ(after[0].BeginDelim, "|");
    EXPECT_EQ(after[1].BeginDelim, ",");
    EXPECT_EQ(after[3].BeginDelim, "<<");
    EXPECT_EQ(after[3].EndDelim, ">>");
    EXPECT_EQ(after[11].IsSingle, 1);
}

TEST_F(LibraryCommandsTest, WildCardManagerWorksOnTheLiveLibrary) {
    Open();
    CLibrary& cur = Libs()[g_nLibIndex];
    cur.WildTypeManager.SetDefaultTypeCards();
    NextModal(
        [this](QDialog& d) {
            QWidget& w = d;
            auto& dlg = static_cast<CWildCardManagerDlg&>(d);
            EXPECT_EQ(d.windowTitle(), "Wild-Card Manager");
            EXPECT_EQ(dlg.List()->topLevelItemCount(), 6);
            EXPECT_EQ(Selected(dlg.List()), std::vector<int>{0});
            EXPECT_EQ(Child<QPlainTextEdit>(w, "1962")->toPlainText(), "\\b");
            // Adding ^x with aabba keeps ab. Its comment is one line: the
            // line breaks of a pasted text become blanks.
            Child<QLineEdit>(w, "1965")->setText("^x");
            Child<QPlainTextEdit>(w, "1962")->setPlainText("aabba");
            auto* comment = w.findChild<QLineEdit*>("1964");
            ASSERT_NE(comment, nullptr) << "the comment box is no one-line field";
            comment->clear();
            QApplication::clipboard()->setText("Grab x\r\nand y\nz");
            QTest::keyClick(comment, Qt::Key_V, Qt::ControlModifier);
            EXPECT_EQ(comment->text(), "Grab x and y z");
            // So is the set accepted on the way.
            auto* aux = w.findChild<QLineEdit*>("1963");
            ASSERT_NE(aux, nullptr) << "the aux-set box is no one-line field";
            aux->clear();
            QApplication::clipboard()->setText("-\r\n_");
            QTest::keyClick(aux, Qt::Key_V, Qt::ControlModifier);
            EXPECT_EQ(aux->text(), "- _");
            Press(w, "1315");
            EXPECT_EQ(Child<QPlainTextEdit>(w, "1962")->toPlainText(), "ab");
            EXPECT_EQ(dlg.List()->topLevelItem(6)->text(1), "ab");
            Press(w, "1315");
            EXPECT_EQ(prompter.Messages().back(), "Type card already listed.");
            Child<QLineEdit>(w, "1965")->setText("x");
            Press(w, "1315");
            EXPECT_EQ(prompter.Messages().back(), "Type card must be of length 2, and begin with \"^\".");
            // Delete ^b; skip toggles.
            Select(dlg.List(), {0});
            Press(w, "1556");
            Select(dlg.List(), {0, 1});
            Press(w, "1961");
            // An empty symbol keeps the dialog open.
            Child<QLineEdit>(w, "1694")->clear();
            Press(w, "1");
            EXPECT_EQ(prompter.Messages().back(), "Wildcard cannot be empty.");
            EXPECT_TRUE(d.isVisible());
        },
        false);
    Press(*lib, "1454");
    // Cancel keeps what the list operations did.
    const CWildTypeManager& store = Libs()[g_nLibIndex].WildTypeManager;
    ASSERT_EQ(store.TypeCards.size(), 6u);
    EXPECT_EQ(store.TypeCards[0].Name, "^n");
    EXPECT_EQ(store.TypeCards[0].IsSkipped, 1);
    EXPECT_EQ(store.TypeCards.back().Name, "^x");
    EXPECT_EQ(store.TypeCards.back().TypeComment, "Grab x and y z");
    EXPECT_EQ(store.TypeCards.back().AuxCharSet, "- _");

    // Load takes the Input window's selection with its line breaks.
    ASSERT_NE(g_pInputWindow, nullptr);
    g_pInputWindow->SetWindowTextFromString("p\r\nq");
    g_pInputWindow->selectAll();
    NextModal([](QDialog& d) {
        QWidget& w = d;
        Press(w, "1960");
        Child<QLineEdit>(w, "1694")->setText("%");
        Press(w, "1959");
        Child<QLineEdit>(w, "1965")->setText("^y");
        Press(w, "1315");
    });
    Press(*lib, "1454");
    EXPECT_EQ(store.WildCard, "%");
    ASSERT_EQ(store.TypeCards.size(), 7u);
    EXPECT_EQ(store.TypeCards.back().Name, "^y");
    EXPECT_EQ(store.TypeCards.back().PrimarySet, " p\r\nq");  // after the shown card's blank
    EXPECT_EQ(Child<QLineEdit>(*lib, "1694")->text(), "%");
}

TEST_F(LibraryCommandsTest, WorkPadToLibraryAndAttributesButtons) {
    Open();
    lib->hide();
    CInteractiveTextConversionDlg& pad = frame->ConversionCommands().WorkPad();
    auto& commands = frame->ConversionCommands();
    EXPECT_TRUE(Child<QPushButton>(pad, "1696")->isEnabled());
    Press(pad, "1696");  // without Ctrl or Shift: only shows the manager
    EXPECT_TRUE(lib->isVisible());

    CurrentMacro = CMacro("", "r");
    commands.ExportMacro(true);
    EXPECT_EQ(prompter.Messages().back(), "Empty \"Find\"");
    CurrentMacro = CMacro("unique-find", "r");
    const std::size_t before = Libs()[g_nLibIndex].MacroList.size();
    commands.ExportMacro(true);
    EXPECT_EQ(Libs()[g_nLibIndex].MacroList.size(), before + 1);
    EXPECT_EQ(lib->MacroList()->topLevelItem(int(before))->text(0), "unique-find");
    commands.ExportMacro(true);
    EXPECT_EQ(prompter.Messages().back(), "Macro already listed in the library.");
    EXPECT_EQ(Libs()[g_nLibIndex].MacroList.size(), before + 1);

    CAttributesDlg* attr = commands.Attributes();
    // Without wild-cards in Find there is no wild-card manager to open.
    ASSERT_FALSE(Child<QCheckBox>(*attr, "1525")->isChecked());
    EXPECT_FALSE(Child<QPushButton>(*attr, "1454")->isEnabled());
    Press(*attr, "1525");
    EXPECT_TRUE(Child<QPushButton>(*attr, "1454")->isEnabled());
    bool opened = false;
    NextModal([&opened](QDialog& d) { opened = d.windowTitle() == "Wild-Card Manager"; }, false);
    Press(*attr, "1454");
    EXPECT_TRUE(opened);
    opened = false;
    NextModal([&opened](QDialog& d) { opened = d.windowTitle() == "Delimiter List"; }, false);
    Press(*attr, "1367");
    EXPECT_TRUE(opened);
}

}  // namespace

// ---- the batch window
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTableView>
#include <QTest>
#include <QThread>

#include "convert_ui/ui/BatchTextConversionDlg.h"
#include "model/FileItem.h"

namespace {

// Gives the next file dialog the name of a file that is not there yet and
// presses its OK. A dialog that takes only existing files refuses it: its
// message ends up in refused and the dialog is cancelled.
void AnswerNextFileDialog(const QString& path, QString* refused) {
    QTimer::singleShot(0, [path, refused] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!fd) {
            *refused = "no file dialog";
            return;
        }
        QTimer::singleShot(0, [refused] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *refused = box->text();
                box->reject();
            }
        });
        fd->selectFile(path);
        static_cast<QDialog*>(fd)->accept();
        if (fd->isVisible()) fd->reject();
    });
}

class BatchWindowTest : public LibraryCommandsTest {
protected:
    void OpenBatch(int files, const std::string& text) {
        Open();
        UseOneMacroLibrary(Libs(), "Animals", "cat", "dog");
        lib->RefillLibraryList();
        std::filesystem::create_directories(Files() + "/batch");
        items.clear();
        for (int i = 0; i < files; ++i) {
            CFileItem it("f" + std::to_string(i) + ".txt");
            it.LocalDir = Files() + "/batch/";
            it.FileType = "local";
            WriteFile(it.GetLocalPath(), text);
            items.push_back(it);
        }
        ASSERT_TRUE(frame->IsCommandEnabled(32629));
        g_nWorkMode = 1;  // "Convert files" opens the batch window
        frame->ExecuteCommand(32629);
        batch = frame->ConversionCommands().Batch();
        ASSERT_NE(batch, nullptr);
        batch->selectedFileItems = [this] { return items; };
        batch->basketFileItems = [this] { return items; };
    }
    void WaitIdle() {
        for (int i = 0; i < 2000 && batch->Runner().IsRunning(); ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        ASSERT_FALSE(batch->Runner().IsRunning());
    }
    std::string Out(int i) { return ReadFile(Files() + "/batch/" + std::to_string(i + 1) + "_f" + std::to_string(i) + ".txt"); }
    std::vector<CFileItem> items;
    CBatchTextConversionDlg* batch = nullptr;
};

TEST_F(BatchWindowTest, ConvertAtOnceThenPreviewSkipEditAndCommit) {
    OpenBatch(3, "one cat, two cat\r\n");
    EXPECT_TRUE(batch->isVisible());
    EXPECT_EQ(batch->windowTitle(), "Batch Text Conversion (Preview)");
    EXPECT_EQ(Child<QLineEdit>(*batch, "1803")->text(), "Use GREEN button to find text in files");
    Press(*batch, "1510");
    EXPECT_EQ(batch->windowTitle(), "Batch Text Conversion");

    // Convert with an empty list is refused first.
    Press(*batch, "1348");
    EXPECT_EQ(prompter.Messages().back(), "The list must contain filenames that you want to convert. Empty list.");
    Press(*batch, "1737");
    ASSERT_EQ(batch->InputList()->topLevelItemCount(), 3);
    Press(*batch, "1737");  // all three again: already present
    EXPECT_NE(prompter.Messages().back().find("Already present in the list:\r\n"), std::string::npos);
    Press(*batch, "1348");
    EXPECT_EQ(prompter.Messages().back().rfind("Following files in the list has no output information.", 0), 0u);

    // Names through the Output Filenames window: "_" enumerated in front.
    Press(*batch, "1855");
    COutputFilenamesDlg& names = batch->OutputFilenames();
    EXPECT_EQ(names.windowTitle(), "Output Filenames");
    EXPECT_TRUE(names.isVisible());
    // "..." asks for the folder in the prompt that has a folder browser.
    batch->SelectAllInputFiles();
    prompter.texts = {Files() + "/elsewhere"};
    Press(names, "1340");
    EXPECT_EQ(prompter.entries.back().text, "Output Directory|Enter Output Directory:");
    EXPECT_EQ(batch->InputList()->topLevelItem(2)->text(1).toStdString().rfind(Files() + "/elsewhere/", 0), 0u);
    Press(names, "1822");  // same as input names, the base of the customised names
    EXPECT_EQ(batch->InputList()->topLevelItem(2)->text(1).toStdString(), items[2].GetLocalPath());
    Press(names, "1857");
    Press(names, "1394");
    EXPECT_EQ(batch->InputList()->topLevelItem(2)->text(1).toStdString(), Files() + "/batch/3_f2.txt");

    Press(*batch, "1348");
    WaitIdle();
    EXPECT_EQ(Out(0), "one dog, two dog\r\n");  // the line ends the input had
    EXPECT_EQ(Out(2), "one dog, two dog\r\n");

    // Preview: build the instances (twice: not appended again).
    Press(*batch, "1510");
    for (int k = 0; k < 2; ++k) {
        Press(*batch, "1796");
        WaitIdle();
    }
    EXPECT_TRUE(batch->Runner().previewReady);
    int total = 0;
    for (const auto& p : Libs().Previews) total += int(p.Instances.size());
    EXPECT_EQ(total, 6);
    EXPECT_EQ(batch->InputList()->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 15);

    // Skip the first instance of row 0, edit the second of row 1, by clicks.
    auto clickInput = [&](int r) {
        QTreeWidget* l = batch->InputList();
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->topLevelItem(r)).center());
    };
    auto clickInstance = [&](int r) {
        QTableView* v = batch->InstanceList();
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(v->model()->index(r, 0)).center());
    };
    // The preview opens clear of the batch window, all of it on the screen.
    batch->move(0, 0);
    batch->resize(640, 420);
    clickInput(0);
    clickInstance(0);
    EXPECT_TRUE(batch->Preview().isVisible());
    EXPECT_EQ(batch->Preview().windowTitle(), "Find and Replace Preview");
    EXPECT_FALSE(batch->Preview().frameGeometry().intersects(batch->frameGeometry()))
        << batch->Preview().frameGeometry().x() << "," << batch->Preview().frameGeometry().y() << " "
        << batch->Preview().frameGeometry().width() << "x" << batch->Preview().frameGeometry().height() << " batch "
        << batch->frameGeometry().width() << "x" << batch->frameGeometry().height() << " screen "
        << batch->screen()->availableGeometry().width() << "x" << batch->screen()->availableGeometry().height();
    EXPECT_TRUE(batch->screen()->availableGeometry().contains(batch->Preview().frameGeometry()));
    Press(*batch, "1800");
    EXPECT_TRUE(Libs().Previews[0].Instances[0].Skip);
    EXPECT_EQ(batch->InstanceList()->model()->index(0, 0).data(Qt::UserRole).toInt(), 10);
    clickInput(1);
    clickInstance(1);
    Press(*batch, "1806");
    EXPECT_NE(prompter.Messages().back().find("Operation ignored."), std::string::npos);
    batch->Preview().Lower()->setPlainText("bird");
    Press(*batch, "1806");
    EXPECT_TRUE(Libs().Previews[1].Instances[1].Changed);

    Press(*batch, "1792");
    WaitIdle();
    EXPECT_EQ(Out(0), "one cat, two dog\r\n");
    EXPECT_EQ(Out(1), "one dog, two bird\r\n");
    EXPECT_EQ(Out(2), "one dog, two dog\r\n");
    Press(*batch, "1792");
    EXPECT_EQ(prompter.Messages().back(), "There is no instance in memory from last Preview operation.");

    // The context menu commands of the main window reach the rows.
    frame->ExecuteCommand(32544);
    frame->ExecuteCommand(32541);
    EXPECT_TRUE(Libs().Previews[0].OutputName.empty());
    frame->ExecuteCommand(32543);
    EXPECT_EQ(batch->InputList()->topLevelItemCount(), 0);
    Press(*batch, "2");
    EXPECT_FALSE(batch->isVisible());
    EXPECT_FALSE(names.isVisible());
}

TEST_F(BatchWindowTest, InstancePicturesTellFreshSkippedAndChangedApartForEveryStep) {
    OpenBatch(1, "cat\r\n");
    Press(*batch, "1737");
    // Instances of the first, a second and a third macro step, with and
    // without the source access table, each fresh, skipped and changed.
    std::vector<CFindRepInstance>& inst = Libs().Previews[0].Instances;
    for (int step : {0, 1, 2})
        for (unsigned char keep : {0, 1})
            for (int state = 0; state < 3; ++state) {
                CFindRepInstance i;
                i.StepNo = step;
                i.KeepSteps = keep;
                i.ImageNo = step == 0 ? 6 : keep ? 6 + step % 2 : 8 + step % 2;
                i.Skip = state == 1;
                i.Changed = state == 2;
                inst.push_back(i);
            }
    batch->ShowCurrentRow(0);
    QAbstractItemModel* m = batch->InstanceList()->model();
    ASSERT_EQ(m->rowCount(), 18);
    auto picture = [&](int row) { return m->index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage(); };
    for (int r = 0; r < 18; r += 3) {
        EXPECT_NE(picture(r), picture(r + 1)) << r;
        EXPECT_NE(picture(r), picture(r + 2)) << r;
        EXPECT_NE(picture(r + 1), picture(r + 2)) << r;
    }
    // A fresh instance never looks skipped.
    for (int r = 0; r < 18; r += 3)
        for (int s = 1; s < 18; s += 3) EXPECT_NE(picture(r), picture(s)) << r << " " << s;
}

TEST_F(BatchWindowTest, ACommitWritesAroundASkippedChainAndRefusesOnlyAChangedFile) {
    // A chained library: the second macro finds what the first one makes.
    OpenBatch(2, "foo bar\nbar foo\n");
    Libs()[0].MacroList = {CMacro("foo", "FOO1"), CMacro("FOO1", "BAR2")};
    Press(*batch, "1737");
    batch->SelectAllInputFiles();
    Press(batch->OutputFilenames(), "1822");
    Press(batch->OutputFilenames(), "1394");
    Press(*batch, "1796");
    WaitIdle();
    ASSERT_EQ(Libs().Previews[0].Instances.size(), 4u);

    // Skip instance 1 of macro 1 in the first file, by clicks.
    QTreeWidget* l = batch->InputList();
    QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->topLevelItem(0)).center());
    QTableView* v = batch->InstanceList();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, v->visualRect(v->model()->index(0, 0)).center());
    Press(*batch, "1800");
    ASSERT_TRUE(Libs().Previews[0].Instances[0].Skip);

    // The second file changes on the disk after its preview.
    WriteFile(items[1].GetLocalPath(), "bar\n");
    frame->MessageWindow().Clear();
    Press(*batch, "1792");
    WaitIdle();
    // The skipped "foo" stays, and the "FOO1" only it would have made is
    // left out and named; the other instances are applied.
    EXPECT_EQ(Out(0), "foo bar\nbar BAR2\n");
    const std::string log = frame->MessageWindow().GetText();
    EXPECT_NE(log.find(items[0].GetLocalPath() + ": Macro 2, Instance 1 (\"FOO1\") left out"), std::string::npos)
        << log;
    EXPECT_EQ(prompter.Messages().back().find("f0.txt"), std::string::npos) << prompter.Messages().back();
    EXPECT_NE(prompter.Messages().back().find("f1.txt: changed since its preview"), std::string::npos);
    EXPECT_EQ(ReadFile(items[1].GetLocalPath()), "bar\n");
    EXPECT_FALSE(std::filesystem::exists(Files() + "/batch/2_f1.txt"));
}

// A named pipe in the basket: Create and Commit refuse it without waiting
// on it, the other file is written, and the commit ends.
TEST_F(BatchWindowTest, APipeInTheBasketIsRefusedAndTheCommitEnds) {
    OpenBatch(1, "one cat\r\n");
    CFileItem pipe("pipe.txt");
    pipe.LocalDir = Files() + "/batch/";
    pipe.FileType = "local";
    ASSERT_EQ(::mkfifo(pipe.GetLocalPath().c_str(), 0644), 0);
    items.push_back(pipe);
    Press(*batch, "1737");
    ASSERT_EQ(batch->InputList()->topLevelItemCount(), 2);
    batch->SelectAllInputFiles();
    Press(*batch, "1855");
    Press(batch->OutputFilenames(), "1822");
    Press(batch->OutputFilenames(), "1394");
    Press(*batch, "1796");
    WaitIdle();
    ASSERT_TRUE(batch->Runner().previewReady);
    prompter.entries.clear();
    Press(*batch, "1792");
    const bool ended = QTest::qWaitFor([this] { return !batch->Runner().IsRunning(); }, 10000);
    if (!ended) {
        // A writer lets the stuck reader go, so that this test can end.
        const int fd = ::open(pipe.GetLocalPath().c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        WaitIdle();
    }
    ASSERT_TRUE(ended) << "the commit waited on the pipe";
    EXPECT_EQ(Out(0), "one dog\r\n");
    EXPECT_FALSE(std::filesystem::exists(Files() + "/batch/2_pipe.txt"));
    ASSERT_FALSE(prompter.Messages().empty());
    EXPECT_NE(prompter.Messages().back().find("pipe.txt: " + pipe.GetLocalPath() + " is a named pipe"),
              std::string::npos)
        << prompter.Messages().back();
}

// Token by token, a right-aligning tab stop puts its fill in front of what
// an earlier match of the token became: the window's Create instances then
// Commit write what its Convert writes, and the program goes on.
TEST_F(BatchWindowTest, TabStopsTokenByTokenCommitWhatConvertWrites) {
    const std::string input = "foo 3.4\r\nbar 7\r\n";
    OpenBatch(1, input);
    CMacro tabs("^d", "<A=-4>#");
    tabs.IsFindWild = tabs.IsRepWild = tabs.IsPerLine = tabs.IsDelimParse = 1;
    Libs()[0].MacroList = {tabs};
    Press(*batch, "1737");
    batch->SelectAllInputFiles();
    Press(batch->OutputFilenames(), "1822");
    Press(batch->OutputFilenames(), "1394");
    Press(*batch, "1510");
    Press(*batch, "1348");
    WaitIdle();
    const std::string converted = Out(0);
    ASSERT_NE(converted, input);
    std::filesystem::remove(Files() + "/batch/1_f0.txt");

    Press(*batch, "1510");
    Press(*batch, "1796");
    WaitIdle();
    ASSERT_TRUE(batch->Runner().previewReady);
    prompter.entries.clear();
    Press(*batch, "1792");
    WaitIdle();
    EXPECT_EQ(Out(0), converted);
    EXPECT_EQ(ReadFile(items[0].GetLocalPath()), input);
    EXPECT_TRUE(prompter.Messages().empty()) << prompter.Messages().front();
}

TEST_F(BatchWindowTest, AThousandFilesKeepTheInstanceListAModelView) {
    std::string text;
    while (text.size() < 10000) text += "a cat sat on the mat with a hat\r\n";
    OpenBatch(1000, text);
    Press(*batch, "1737");
    Press(*batch, "1796");
    WaitIdle();
    batch->ShowCurrentRow(500);
    QTableView* view = batch->InstanceList();
    EXPECT_GT(view->model()->rowCount(), 300);
    // One model, no widget per row.
    EXPECT_EQ(view->findChildren<QLabel*>().size(), 0);
    view->selectRow(view->model()->rowCount() - 1);
    batch->OnInstanceClicked(false);
    EXPECT_EQ(batch->Preview().Upper()->toPlainText(), "cat");
}

}  // namespace

// ---- library exchange and the library run
#include "widgets/TextWindows.h"
#include "widgets/LineTextBox.h"
#include "widgets/TextRichEdit.h"
#include "compare/TextAccess.h"
#include "convert_ui/ui/InteractiveWorker.h"
#include "model/WorkArea.h"
#include "remote/FtpWorker.h"

namespace {

TEST_F(LibraryCommandsTest, ExportImportGenerateAndRun) {
    Open();
    Libs().Clear();
    for (const char* n : {"A", "B", "C"}) Libs().Append(CLibrary(n));
    Libs()[0].MacroList.emplace_back("red", "blue");
    Libs()[2].MacroList.emplace_back("one", "two");
    g_nLibIndex = 1;
    Libs().CurrentLibrary = 1;
    lib->RefillLibraryList();
    lib->FillMacroList();

    // Export refuses the program's own library file, then writes A and C.
    const std::string file = Files() + "/exported.txt";
    Select(lib->LibraryList(), {0, 2});
    prompter.texts = {g_strLibraryInfoDir + "_qvl_library.txt", file};
    Press(*lib, "1697");
    ASSERT_GE(prompter.Messages().size(), 2u);
    EXPECT_NE(prompter.Messages()[prompter.Messages().size() - 2].find(" is a reserved name."), std::string::npos);
    EXPECT_EQ(prompter.Messages().back(), "Selected library dumped to:\r\n   " + file);
    EXPECT_EQ(Libs().GetCount(), 3);
    Select(lib->LibraryList(), {});
    Press(*lib, "1697");
    EXPECT_EQ(prompter.Messages().back(), "No library selected.");

    // The "..." of the export prompt takes the name of a file not there yet.
    {
        QtPrompter dialogs;
        dialogs.SetParentWindow(frame.get());
        ScopedPrompter real(dialogs);
        const QString fresh = QString::fromStdString(Files() + "/exp1.txt");
        QString refused, browsed = "no prompt";
        QTimer::singleShot(0, [&] {
            auto* prompt = qobject_cast<CTextPromptDlg*>(QApplication::activeModalWidget());
            if (!prompt) return;
            EXPECT_EQ(prompt->windowTitle(), "Export to File");
            prompt->Edit()->clear();
            AnswerNextFileDialog(fresh, &refused);
            prompt->BrowseButton()->click();
            browsed = prompt->Edit()->text();
            prompt->reject();
        });
        Select(lib->LibraryList(), {0});
        Press(*lib, "1697");
        EXPECT_TRUE(refused.isEmpty()) << refused.toStdString();
        EXPECT_EQ(browsed, fresh);
    }

    // Import both after library 1: "(i) A" at 2 and "(i) C" at 3; B stays active.
    Select(lib->LibraryList(), {1});
    prompter.texts = {file};
    NextModal([](QDialog& d) {
        auto* list = d.findChild<QTreeWidget*>();
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->topLevelItemCount(), 2);
        list->selectAll();
    });
    Press(*lib, "1704");
    EXPECT_EQ(Libs().GetLibNames(), (std::vector<std::string>{"A", "B", "(i) A", "(i) C", "C"}));
    EXPECT_EQ(Libs()[2].MacroList[0].Replace, "blue");
    EXPECT_EQ(g_nLibIndex, 1);
    EXPECT_EQ(lib->GetSelectedLibraryName(), "B");

    // A library from the Output text: a final line break asks first.
    SetOutputWindowText("");
    Press(*lib, "1320");
    EXPECT_EQ(prompter.Messages().back(), "Output Window has no text.");
    SetOutputWindowText("cat\r\ndog\r\n");
    prompter.answers = {Answer::Yes};
    prompter.texts = {std::string("Pets")};
    frame->ExecuteCommand(32657);
    EXPECT_EQ(prompter.Questions().back().rfind("Output text seems to have odd number of line.", 0), 0u);
    EXPECT_EQ(Libs().GetLibName(2), "Pets");
    EXPECT_EQ(g_nLibIndex, 2);
    ASSERT_EQ(Libs()[2].MacroList.size(), 2u);
    EXPECT_EQ(Libs()[2].MacroList[0].Find, "cat");
    EXPECT_EQ(Libs()[2].MacroList[1].Find, "");
    Libs()[2].MacroList.pop_back();

    // The library run converts the Input window text on the worker.
    frame->ConversionCommands().WorkPad().Input()->SetWindowTextFromString("a cat sat");
    ASSERT_TRUE(frame->IsCommandEnabled(32631));
    frame->ExecuteCommand(32631);
    Libs()[2].MacroList[0].Replace = "later";  // edits after the start do not reach the run
    ASSERT_TRUE(frame->ConversionCommands().Worker().WaitIdle(5000));
    EXPECT_EQ(frame->ConversionCommands().WorkPad().Output()->GetText(), "a dog sat");
}

}  // namespace

namespace {

TEST_F(BatchWindowTest, TheEditorGetsThePathAsOneArgumentAndKeysMoveRows) {
    OpenBatch(2, "cat\r\n");
    // A file name a shell would split and run.
    CFileItem odd("a b;touch pwned.txt");
    odd.LocalDir = Files() + "/batch/";
    odd.FileType = "local";
    WriteFile(odd.GetLocalPath(), "#!/bin/sh\ntouch " + Files() + "/batch/ran.txt\n");
    std::filesystem::permissions(odd.GetLocalPath(), std::filesystem::perms::owner_all);
    items = {odd, items[0], items[1]};
    Press(*batch, "1737");
    const std::string log = Files() + "/args.txt";
    const std::string editor = Files() + "/editor.sh";
    WriteFile(editor, "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > " + log + "\n");
    std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
    g_strEditor = editor;
    Select(batch->InputList(), {0});
    frame->ExecuteCommand(32542);
    for (int i = 0; i < 500 && !std::filesystem::exists(log); ++i) QThread::msleep(5);
    QThread::msleep(50);
    EXPECT_EQ(ReadFile(log), "1|" + odd.GetLocalPath());
    EXPECT_FALSE(std::filesystem::exists(Files() + "/batch/ran.txt"));
    EXPECT_FALSE(std::filesystem::exists("pwned.txt"));

    // Down moves the single selection; Delete removes the row.
    batch->InputList()->setFocus();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(batch->InputList(), &down);
    EXPECT_EQ(Selected(batch->InputList()), std::vector<int>{1});
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(batch->InputList(), &del);
    EXPECT_EQ(batch->InputList()->topLevelItemCount(), 2);
    EXPECT_EQ(Libs().Previews.size(), 2u);
    EXPECT_EQ(Selected(batch->InputList()), std::vector<int>{1});
}

}  // namespace

namespace {

TEST_F(BatchWindowTest, DoubleClickShowsTheInstanceInItsSourceText) {
    OpenBatch(1, "one\r\ntwo cat\r\n");
    Press(*batch, "1737");
    Press(*batch, "1796");
    WaitIdle();
    batch->ShowCurrentRow(0);
    batch->InstanceList()->selectRow(0);
    batch->OnInstanceClicked(true);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    CInteractiveTextConversionDlg& pad = frame->ConversionCommands().WorkPad();
    EXPECT_TRUE(pad.isVisible());
    EXPECT_EQ(pad.Input()->GetText(), "one\r\ntwo cat\r\n");
    EXPECT_EQ(pad.Input()->SelectedText(), "cat");

    // Ctrl with "Open Text Conversion dialog" hides the conversion windows.
    frame->ConversionCommands().OpenTextConversionDialog(true);
    EXPECT_FALSE(batch->isVisible());
    EXPECT_FALSE(pad.isVisible());
    EXPECT_FALSE(g_bBatchShown);
    frame->ExecuteCommand(32588);  // work mode 1: the batch window
    EXPECT_TRUE(batch->isVisible());
    EXPECT_FALSE(pad.isVisible());
    frame->ConversionCommands().OpenTextConversionDialog(true);
    g_nWorkMode = 0;  // the WorkPad with its Attributes dialog
    frame->ExecuteCommand(32588);
    EXPECT_TRUE(pad.isVisible());
    EXPECT_TRUE(frame->ConversionCommands().Attributes()->isVisible());
    EXPECT_FALSE(batch->isVisible());
    g_nWorkMode = 2;
    frame->ExecuteCommand(32629);
    EXPECT_EQ(prompter.Messages().back(), "Invalid work-mode.");
}

}  // namespace

// ---- the input list's pop-up menu and the source access table
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "widgets/SharedDialogs.h"

namespace {

std::vector<std::pair<QString, QString>> MenuEntries(QMenu& menu) {
    std::vector<std::pair<QString, QString>> v;
    for (QAction* a : menu.actions()) v.push_back({a->objectName(), a->isSeparator() ? "-" : a->text()});
    return v;
}

void Trigger(QMenu& menu, const char* id) {
    QAction* a = menu.findChild<QAction*>(id);
    if (!a)
        for (QAction* b : menu.actions())
            if (b->objectName() == id) a = b;
    ASSERT_NE(a, nullptr) << id;
    EXPECT_TRUE(a->isEnabled()) << id;
    a->trigger();
}

TEST_F(BatchWindowTest, TheInputListMenuSendsItsCommandsThroughTheMainWindow) {
    OpenBatch(3, "cat\r\n");
    // The columns take their shares of the lists' widths.
    QTreeWidget* inputs = batch->InputList();
    EXPECT_EQ(inputs->columnWidth(0), inputs->viewport()->width() * 60 / 100);
    EXPECT_EQ(batch->InstanceList()->columnWidth(1), batch->InstanceList()->viewport()->width() * 20 / 100);
    EXPECT_GT(batch->InstanceList()->columnWidth(1), 20);
    Press(*batch, "1737");
    batch->InputList()->clearSelection();
    {
        QMenu none;
        EXPECT_FALSE(batch->BuildInputContextMenu(none));  // no row selected: no menu
        EXPECT_TRUE(none.actions().isEmpty());
    }
    Select(batch->InputList(), {1});
    QMenu menu;
    ASSERT_TRUE(batch->BuildInputContextMenu(menu));
    EXPECT_EQ(menu.objectName(), "129");
    const std::vector<std::pair<QString, QString>> expected{
        {"32542", "Open in text editor"}, {"", "-"},
        {"32543", "Remove"},              {"32541", "Clear Output name"},
        {"32545", "Specify Output name"}, {"32544", "Select All"}};
    EXPECT_EQ(MenuEntries(menu), expected);

    // A right-click on the list opens it at the cursor.
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            shown = popup->objectName();
            popup->close();
        }
    });
    const QPoint at = batch->InputList()->visualItemRect(batch->InputList()->topLevelItem(1)).center();
    emit batch->InputList()->customContextMenuRequested(at);
    EXPECT_EQ(shown, "129");

    // "Specify Output name": the prompt with a file picker in the input's
    // folder, where the name of a file that is not there yet can be given.
    const QString picked = QString::fromStdString(Files() + "/batch/picked.txt");
    QString refused;
    NextModal([&](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Select File");
        auto* prompt = dynamic_cast<CTextPromptDlg*>(&d);
        ASSERT_NE(prompt, nullptr);
        ASSERT_NE(prompt->BrowseButton(), nullptr);
        AnswerNextFileDialog(picked, &refused);
        prompt->BrowseButton()->click();
    });
    Trigger(menu, "32545");
    EXPECT_TRUE(refused.isEmpty()) << refused.toStdString();
    EXPECT_EQ(Libs().Previews[1].OutputName, Files() + "/batch/picked.txt");
    EXPECT_EQ(batch->InputList()->topLevelItem(1)->text(1).toStdString(), Files() + "/batch/picked.txt");
    EXPECT_TRUE(Libs().Previews[0].OutputName.empty());

    Trigger(menu, "32541");
    EXPECT_TRUE(Libs().Previews[1].OutputName.empty());
    Trigger(menu, "32544");
    EXPECT_EQ(Selected(batch->InputList()), (std::vector<int>{0, 1, 2}));
    Select(batch->InputList(), {0});
    Trigger(menu, "32543");
    EXPECT_EQ(Libs().Previews.size(), 2u);
    EXPECT_EQ(batch->InputList()->topLevelItemCount(), 2);
    EXPECT_EQ(Libs().Previews[0].InputName, items[1].GetLocalPath());
}

TEST_F(BatchWindowTest, WithoutTheSourceAccessTableOnlyTheFirstMacrosInstancesShowTheirSource) {
    OpenBatch(1, "one cat\r\n");
    Libs()[0].MacroList.emplace_back("dog", "bird");
    QCheckBox* table = batch->SourceAccessTable();
    EXPECT_EQ(table->text(), "Build source access table");
    EXPECT_TRUE(table->isChecked());
    EXPECT_TRUE(table->isVisible());
    Press(*batch, "1510");
    EXPECT_FALSE(table->isVisible());  // an instance run's option only
    Press(*batch, "1510");
    Press(*batch, "1737");
    CInteractiveTextConversionDlg& pad = frame->ConversionCommands().WorkPad();

    auto instanceOfStep = [this](int step) {
        const auto& list = Libs().Previews[0].Instances;
        for (std::size_t j = 0; j < list.size(); ++j)
            if (list[j].StepNo == step) return int(j);
        return -1;
    };
    auto jump = [this](int j) {
        batch->ShowCurrentRow(0);
        batch->InstanceList()->selectRow(j);
        batch->OnInstanceClicked(true);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    };

    table->setChecked(false);
    Press(*batch, "1796");
    WaitIdle();
    ASSERT_EQ(Libs().Previews[0].Instances.size(), 2u);
    EXPECT_EQ(Libs().Previews[0].StepTexts.size(), 1u);
    const std::size_t before = prompter.Messages().size();
    jump(instanceOfStep(1));
    ASSERT_EQ(prompter.Messages().size(), before + 1);
    EXPECT_EQ(prompter.Messages().back(),
              "Source access table not built.\r\n"
              "You need to have \"Build source access table\" checked before Preview instances are built.\r\n"
              "Otherwise, information on FIRST ACTIVE macro  only is available.");
    EXPECT_FALSE(pad.isVisible());
    // The first macro's instances still reach their source, in the pad with
    // its Attributes beside it.
    jump(instanceOfStep(0));
    EXPECT_TRUE(pad.isVisible());
    CAttributesDlg* attributes = frame->ConversionCommands().Attributes();
    EXPECT_TRUE(attributes->isVisible());
    // Left of it, as far as the screen lets the pad make room.
    EXPECT_LT(attributes->frameGeometry().left(), pad.frameGeometry().left());
    EXPECT_EQ(pad.Input()->GetText(), "one cat\r\n");
    EXPECT_EQ(pad.Input()->SelectedText(), "cat");

    table->setChecked(true);
    Press(*batch, "1796");
    WaitIdle();
    EXPECT_EQ(Libs().Previews[0].StepTexts.size(), 2u);
    jump(instanceOfStep(1));
    EXPECT_EQ(prompter.Messages().size(), before + 1);
    EXPECT_EQ(pad.Input()->GetText(), "one dog\r\n");
    EXPECT_EQ(pad.Input()->SelectedText(), "dog");
}

}  // namespace

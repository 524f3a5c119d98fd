// The settings commands on the window: the Program Options dialog with its
// page tree and check before writing, the Accel Editor reached from it, the
// update check against a local HTTP server, and the user manual.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <QUrl>
#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <map>

#include "DialogControls.h"
#include "UiFixture.h"
#include "widgets/HyperLink.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "app/SettingsCommands.h"
#include "remote/TestServers.h"
#include "settings/ui/AccelEditorDlg.h"
#include "settings/ui/InlineUpdateDlg.h"
#include "settings/ui/ProgramOptionsDlg.h"
#include "settings/UpdateCheck.h"

using namespace qvltest;

namespace {

bool Shown(QWidget* dlg, const char* id) {
    QWidget* w = Control<QWidget>(dlg, id);
    return w && !w->isHidden();
}

class SettingsCommandsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        CSettingsCommands::s_runModal = [this](QDialog& dlg) {
            const std::string title = dlg.windowTitle().toStdString();
            titles.push_back(title);
            auto it = drivers.find(title);
            if (it != drivers.end()) it->second(dlg);
            return dlg.result();
        };
    }
    void TearDown() override {
        frame.reset();
        CSettingsCommands::s_runModal = nullptr;
        CSettingsCommands::s_openUrl = nullptr;
        CInlineUpdateDlg::s_programFolder.clear();
        UiTest::TearDown();
    }
    CMainFrame& Open() {
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->show();
        return *frame;
    }

    std::unique_ptr<CMainFrame> frame;
    std::vector<std::string> titles;
    std::map<std::string, std::function<void(QDialog&)>> drivers;
};

// ---------------------------------------------------------------- Program Options

TEST_F(SettingsCommandsTest, EveryNumberedControlCarriesItsIdAndEachDialogItsTitle) {
    CProgramOptionsDlg options;
    EXPECT_EQ(options.windowTitle(), "Program Options");
    for (int id : AllPageControls()) EXPECT_NE(options.Control(id), nullptr) << id;
    for (const char* id : {"1571", "1872", "1", "2"}) Control<QWidget>(&options, id);
    CAcceleratorManager m;
    InstallAccelerators(m);
    CAccelEditorDlg accel("", &m, nullptr);
    EXPECT_EQ(accel.windowTitle(), "Accel Editor");
    for (const char* id : {"1537", "1543", "1595", "1328", "1845", "1848", "1506", "1323", "1", "2"})
        Control<QWidget>(&accel, id);
    EXPECT_TRUE(Control<QAbstractButton>(&accel, "1506")->isCheckable());
    CInlineUpdateDlg update;
    EXPECT_EQ(update.windowTitle(), "Inline Update");
    for (const char* id : {"1840", "1702", "1700", "1703", "1383", "1368", "1787", "1788", "1635", "1"})
        Control<QWidget>(&update, id);
    EXPECT_EQ(Control<QProgressBar>(&update, "1788")->maximum(), 1800);
    EXPECT_EQ(Control<QTextEdit>(&update, "1840")->toPlainText(), "1.0.735.0 4-Jul-2008");
}

TEST_F(SettingsCommandsTest, TheOptionsDialogShowsOnePageAtATimeAndRemembersIt) {
    CMainFrame& f = Open();
    ASSERT_TRUE(f.IsCommandEnabled(32579));
    g_nOptionSel = 403;
    drivers["Program Options"] = [](QDialog& dlg) {
        auto& o = static_cast<CProgramOptionsDlg&>(dlg);
        EXPECT_EQ(o.CurrentCode(), 403);
        EXPECT_TRUE(Shown(&dlg, "1873"));
        EXPECT_TRUE(Shown(&dlg, "1665"));
        EXPECT_FALSE(Shown(&dlg, "1465"));
        EXPECT_FALSE(Shown(&dlg, "1651"));
        EXPECT_EQ(Control<QLineEdit>(&dlg, "1665")->maxLength(), 5);
        EXPECT_TRUE(Control<QLabel>(&dlg, "1872")->text().startsWith("Comment: If a session contains"));
        auto* tree = Control<QTreeWidget>(&dlg, "1571");
        EXPECT_EQ(tree->topLevelItemCount(), 1);
        EXPECT_EQ(tree->topLevelItem(0)->text(0), "Options");
        EXPECT_EQ(tree->topLevelItem(0)->childCount(), 5);
        // The user clicks the folder "Text Conversion".
        tree->setCurrentItem(tree->topLevelItem(0)->child(1));
        EXPECT_EQ(o.CurrentCode(), 2);
        EXPECT_EQ(Control<QLabel>(&dlg, "1872")->text(),
                  "         Select a sub category for more information.");
        for (int id : AllPageControls()) EXPECT_FALSE(Shown(&dlg, std::to_string(id).c_str())) << id;
        Press(&dlg, "1");
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    };
    f.ExecuteCommand(32579);
    EXPECT_EQ(g_nOptionSel, 2);
    drivers["Program Options"] = [](QDialog& dlg) {
        EXPECT_EQ(static_cast<CProgramOptionsDlg&>(dlg).CurrentCode(), 2);
        Press(&dlg, "2");
    };
    f.ExecuteCommand(32579);
    EXPECT_EQ(titles, (std::vector<std::string>{"Program Options", "Program Options"}));
}

TEST_F(SettingsCommandsTest, EveryEditedOptionReachesTheProgramOptionLine) {
    CMainFrame& f = Open();
    auto answer = [](const char* text) {
        return [text](QDialog& dlg) {
            EXPECT_TRUE(Shown(&dlg, "1841"));  // the file picker
            Control<QLineEdit>(&dlg, "1622")->setText(text);
            Press(&dlg, "1");
        };
    };
    drivers["Editor Program"] = answer("/usr/bin/vim");
    drivers["Telnet Program"] = answer("/usr/bin/xterm");
    drivers["Program Options"] = [](QDialog& dlg) {
        for (const char* id : {"1512", "1523", "1474", "1511", "1464", "1478", "1466"})
            Control<QCheckBox>(&dlg, id)->click();
        Control<QRadioButton>(&dlg, "1814")->click();
        Press(&dlg, "1372");  // ">>" editor
        Press(&dlg, "1443");  // ">>" telnet
        Control<QLineEdit>(&dlg, "1596")->setText("45");
        Control<QLineEdit>(&dlg, "1665")->setText("250");
        Control<QPlainTextEdit>(&dlg, "1598")->setPlainText(".iso\n.img");
        Control<QPlainTextEdit>(&dlg, "1667")->setPlainText(".md");
        Press(&dlg, "1");
    };
    f.ExecuteCommand(32579);
    const std::string line = f.Data().FormatProgramOptions();
    for (const char* pair :
         {"SingleClick=Yes, ", "AutoUpBasket=No, ", "AutoUpdateInc=45, ", "TurnOff=250, ",
          "FTPUpdate=No, ", "Editor=/usr/bin/vim, ", "Telnet=/usr/bin/xterm, ", "Sound=Yes, ",
          "Trace=Yes, ", "CloseLibrary=Yes, ", "UseBinExt=No, ", "BinExtStr=.iso .img, ",
          "TxtOpnStr=.md, ", "OptionSel=0, "})
        EXPECT_NE(line.find(pair), std::string::npos) << pair << "\n" << line;
    EXPECT_EQ(g_nWorkMode, 1);
    EXPECT_EQ(titles, (std::vector<std::string>{"Program Options", "Editor Program", "Telnet Program"}));
}

TEST_F(SettingsCommandsTest, CancelKeepsOnlyWhatResetBrowseAndTheBinaryBoxWroteAtOnce) {
    CMainFrame& f = Open();
    g_strBinExtStr = ".iso";
    g_strTxtOpnStr = ".md";
    g_bUseBinExt = true;
    const ProgramOptions before = g_Options;
    drivers["Editor Program"] = [](QDialog& dlg) {
        EXPECT_EQ(Control<QLineEdit>(&dlg, "1622")->text().toStdString(), g_strEditor);
        Control<QLineEdit>(&dlg, "1622")->setText("/usr/bin/vim");
        Press(&dlg, "1");
    };
    drivers["Program Options"] = [](QDialog& dlg) {
        Press(&dlg, "1338");
        Press(&dlg, "1446");
        Press(&dlg, "1372");
        Control<QCheckBox>(&dlg, "1466")->click();
        Control<QCheckBox>(&dlg, "1465")->click();
        Control<QLineEdit>(&dlg, "1665")->setText("7");
        EXPECT_EQ(Control<QPlainTextEdit>(&dlg, "1598")->toPlainText().toStdString(), g_strBinExtDefault);
        EXPECT_EQ(Control<QLineEdit>(&dlg, "1651")->text(), "/usr/bin/vim");
        Press(&dlg, "2");
    };
    f.ExecuteCommand(32579);
    EXPECT_EQ(g_strBinExtStr, g_strBinExtDefault);
    EXPECT_EQ(g_strTxtOpnStr, g_strTxtOpnDefault);
    EXPECT_EQ(g_strEditor, "/usr/bin/vim");
    EXPECT_EQ(g_bUseBinExt, false);
    // The other pages' edits go with Cancel.
    EXPECT_EQ(g_bAutoUpdate, before.bAutoUpdate);
    EXPECT_EQ(g_nTurnOff, before.nTurnOff);
}

TEST_F(SettingsCommandsTest, AnIntervalOutOfRangeKeepsTheDialogOpenWithNothingWritten) {
    CMainFrame& f = Open();
    drivers["Program Options"] = [this](QDialog& dlg) {
        Control<QCheckBox>(&dlg, "1511")->click();
        for (const char* bad : {"0", "601", ""}) {
            Control<QLineEdit>(&dlg, "1596")->setText(bad);
            Press(&dlg, "1");
            EXPECT_NE(dlg.result(), QDialog::Accepted) << bad;
            EXPECT_FALSE(g_bSingleClick);
        }
        EXPECT_EQ(static_cast<CProgramOptionsDlg&>(dlg).CurrentCode(), 401);
        EXPECT_EQ(prompter.Messages(), std::vector<std::string>(3, "Please enter an integer between 1 and 600."));
        Control<QLineEdit>(&dlg, "1596")->setText("600");
        Control<QLineEdit>(&dlg, "1665")->setText("0");
        Press(&dlg, "1");
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    };
    f.ExecuteCommand(32579);
    EXPECT_TRUE(g_bSingleClick);
    EXPECT_EQ(g_nAutoUpdateInc, 600);
    EXPECT_EQ(g_nTurnOff, 1000);
}

TEST_F(SettingsCommandsTest, AutoUpdateOffDisablesIntervalAndBasketAndTheWorkModeLinkOpensItsPage) {
    CMainFrame& f = Open();
    g_bAutoUpdate = false;
    g_nOptionSel = 0;
    drivers["Program Options"] = [](QDialog& dlg) {
        EXPECT_EQ(static_cast<CProgramOptionsDlg&>(dlg).CurrentCode(), 201);
        EXPECT_TRUE(Shown(&dlg, "1815"));
        EXPECT_TRUE(Control<QRadioButton>(&dlg, "1815")->isChecked());
        EXPECT_FALSE(Control<QWidget>(&dlg, "1596")->isEnabled());
        EXPECT_FALSE(Control<QWidget>(&dlg, "1464")->isEnabled());
        Control<QCheckBox>(&dlg, "1465")->click();
        EXPECT_TRUE(Control<QWidget>(&dlg, "1596")->isEnabled());
        EXPECT_TRUE(Control<QWidget>(&dlg, "1464")->isEnabled());
        Control<QCheckBox>(&dlg, "1465")->click();
        EXPECT_FALSE(Control<QWidget>(&dlg, "1596")->isEnabled());
        Press(&dlg, "2");
    };
    ASSERT_TRUE(CHyperLink::s_usageHandler);
    CHyperLink::s_usageHandler(6);
    EXPECT_EQ(titles, std::vector<std::string>{"Program Options"});
    (void)f;
}

// ---------------------------------------------------------------- Accel Editor

// Opens the Accel Editor from the options dialog; `edit` works in it.
void DriveKeystrokes(std::map<std::string, std::function<void(QDialog&)>>& drivers,
                     std::function<void(CAccelEditorDlg&)> edit, bool cancelOptions = true) {
    drivers["Program Options"] = [cancelOptions](QDialog& dlg) {
        EXPECT_TRUE(Shown(&dlg, "1392") || true);
        Press(&dlg, "1392");
        Press(&dlg, cancelOptions ? "2" : "1");
    };
    drivers["Accel Editor"] = [edit](QDialog& dlg) {
        dlg.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg, 30000));
        edit(static_cast<CAccelEditorDlg&>(dlg));
        dlg.hide();
    };
}

TEST_F(SettingsCommandsTest, AssignedKeystrokesWorkAtOnceAndDuplicatesAreNamed) {
    CMainFrame& f = Open();
    DriveKeystrokes(drivers, [](CAccelEditorDlg& dlg) {
        EXPECT_EQ(dlg.Description()->text(), CAccelEditorDlg::kHint);
        ASSERT_TRUE(dlg.SelectEvent("Application: 5. Manage Options"));
        ASSERT_EQ(dlg.Assigned()->count(), 1);
        EXPECT_EQ(dlg.Assigned()->item(0)->text(), "Ctrl+O");
        CKeystrokeEdit* capture = dlg.Capture();
        capture->setFocus();
        // Only Ctrl: nothing to assign.
        QTest::keyPress(capture, Qt::Key_Control);
        EXPECT_EQ(capture->text(), "Ctrl");
        Press(&dlg, "1328");
        EXPECT_EQ(dlg.Assigned()->count(), 1);
        QTest::keyRelease(capture, Qt::Key_Control);
        // Ctrl+C belongs to Copy.
        QTest::keyClick(capture, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(capture->text(), "Ctrl+C");
        Press(&dlg, "1328");
        EXPECT_EQ(dlg.Description()->text().toStdString(),
                  AlreadyMappedText("Ctrl+C", "Edit: 1. Copy"));
        EXPECT_EQ(capture->selectedText(), "Ctrl+C");
        EXPECT_EQ(dlg.Assigned()->count(), 1);
        // Ctrl+Alt+C is another keystroke.
        QTest::keyClick(capture, Qt::Key_C, Qt::ControlModifier | Qt::AltModifier);
        Press(&dlg, "1328");
        QTest::keyClick(capture, Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(capture->text(), "Ctrl+Shift+F11");
        Press(&dlg, "1328");
        EXPECT_EQ(dlg.Assigned()->count(), 3);
        EXPECT_TRUE(capture->text().isEmpty());
        // Remove the old Ctrl+O.
        dlg.Assigned()->setCurrentItem(dlg.Assigned()->findItems("Ctrl+O", Qt::MatchExactly).first());
        Press(&dlg, "1845");
        EXPECT_EQ(dlg.Assigned()->count(), 2);
        Press(&dlg, "1");
    });
    f.ExecuteCommand(32579);
    EXPECT_EQ(titles, (std::vector<std::string>{"Program Options", "Accel Editor"}));
    // The Accel Editor's OK counts even though the options were cancelled.
    EXPECT_TRUE(f.ShortcutsOf(32579).contains(QKeySequence("Ctrl+Shift+F11")));
    EXPECT_TRUE(f.ShortcutsOf(32579).contains(QKeySequence("Ctrl+Alt+C")));
    EXPECT_FALSE(f.ShortcutsOf(32579).contains(QKeySequence("Ctrl+O")));
    EXPECT_TRUE(f.ShortcutsOf(32627).contains(QKeySequence("Ctrl+C")));
    // The new key opens the options.
    titles.clear();
    drivers.clear();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f, 30000));
    QTest::keyClick(&f, Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(titles, std::vector<std::string>{"Program Options"});
}

TEST_F(SettingsCommandsTest, CancelInTheAccelEditorKeepsTheKeysAndResetAllRestoresDefaults) {
    CMainFrame& f = Open();
    DriveKeystrokes(drivers, [](CAccelEditorDlg& dlg) {
        ASSERT_TRUE(dlg.SelectEvent("Application: 5. Manage Options"));
        QTest::keyClick(dlg.Capture(), Qt::Key_K, Qt::ControlModifier);
        Press(&dlg, "1328");
        Press(&dlg, "2");
    });
    f.ExecuteCommand(32579);
    EXPECT_FALSE(f.ShortcutsOf(32579).contains(QKeySequence("Ctrl+K")));

    DriveKeystrokes(drivers, [](CAccelEditorDlg& dlg) {
        ASSERT_TRUE(dlg.SelectEvent("Application: 5. Manage Options"));
        dlg.Assigned()->setCurrentRow(0);
        Press(&dlg, "1845");
        EXPECT_EQ(dlg.Assigned()->count(), 0);  // the command stays listed
        EXPECT_FALSE(dlg.Events()->findItems("Application: 5. Manage Options", Qt::MatchExactly).isEmpty());
        Press(&dlg, "1848");  // Reset All
        ASSERT_TRUE(dlg.SelectEvent("Application: 5. Manage Options"));
        ASSERT_EQ(dlg.Assigned()->count(), 1);
        EXPECT_EQ(dlg.Assigned()->item(0)->text(), "Ctrl+O");
        Press(&dlg, "1");
    });
    f.ExecuteCommand(32579);
    EXPECT_TRUE(f.ShortcutsOf(32579).contains(QKeySequence("Ctrl+O")));
}

TEST_F(SettingsCommandsTest, KeystrokesSurviveARestartAndTheRegistryWipeBringsBackDefaults) {
    MakeSampleArea();
    auto edit = [this](std::function<void(CAccelEditorDlg&)> fn) {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        SetPrompter(&prompter);
        DriveKeystrokes(drivers, fn);
        app.MainFrame()->ExecuteCommand(32579);
        app.MainFrame()->close();
        app.ExitInstance();
    };
    edit([](CAccelEditorDlg& dlg) {
        ASSERT_TRUE(dlg.SelectEvent("Application: 5. Manage Options"));
        QTest::keyClick(dlg.Capture(), Qt::Key_F9, Qt::ControlModifier | Qt::AltModifier);
        Press(&dlg, "1328");
        Press(&dlg, "1");
    });
    {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_TRUE(app.MainFrame()->ShortcutsOf(32579).contains(QKeySequence("Ctrl+Alt+F9")));
        app.MainFrame()->close();
        app.ExitInstance();
    }
    SetPrompter(&prompter);
    prompter.entries.clear();
    edit([](CAccelEditorDlg& dlg) {
        Press(&dlg, "1506");
        Press(&dlg, "1848");
        Press(&dlg, "1");
    });
    SetPrompter(&prompter);
    ASSERT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(prompter.Messages()[1],
              "All reset successfull (with brute force).\r\n\r\nPlease restart Quorvellian.");
    {
        CQuorvellianApp app;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_FALSE(app.MainFrame()->ShortcutsOf(32579).contains(QKeySequence("Ctrl+Alt+F9")));
        EXPECT_TRUE(app.MainFrame()->ShortcutsOf(32579).contains(QKeySequence("Ctrl+O")));
        app.MainFrame()->close();
        app.ExitInstance();
    }
    SetPrompter(&prompter);
}

// ---------------------------------------------------------------- update check

class UpdateCheckTest : public SettingsCommandsTest {
protected:
    void SetUp() override {
        SettingsCommandsTest::SetUp();
        std::filesystem::create_directories(Web() + "/download");
        std::filesystem::create_directories(Program());
        CInlineUpdateDlg::s_programFolder = QString::fromStdString(Program());
    }
    std::string Web() const { return tmp / "web"; }
    std::string Program() const { return tmp / "program"; }
    bool StartServer() {
        port = FreePort();
        server = std::make_unique<Child>(std::vector<std::string>{
            "/usr/bin/python3", "-m", "http.server", std::to_string(port), "--bind", "127.0.0.1",
            "--directory", Web()});
        if (!WaitFor([&] { return AcceptsConnection(port); }, 8000)) return false;
        url = std::make_unique<ScopedEnv>("QVL_UPDATE_URL",
                                          ("http://127.0.0.1:" + std::to_string(port)).c_str());
        return true;
    }
    void SetVersion(const std::string& text) { WriteFile(Web() + "/download/QVL-Version.txt", text); }
    // Runs the update command; the driver presses "Check for Latest" and waits.
    void Check(CMainFrame& f, std::function<void(CInlineUpdateDlg&)> after = nullptr) {
        drivers["Inline Update"] = [after](QDialog& dlg) {
            auto& u = static_cast<CInlineUpdateDlg&>(dlg);
            EXPECT_FALSE(Control<QWidget>(&dlg, "1368")->isEnabled());
            EXPECT_EQ(Control<QProgressBar>(&dlg, "1787")->maximum(), 2100);
            Press(&dlg, "1383");
            EXPECT_TRUE(QTest::qWaitFor([&] { return !u.Checking() && !u.Downloading(); }, 15000));
            if (after) after(u);
        };
        f.ExecuteCommand(32502);
    }

    int port = 0;
    std::unique_ptr<Child> server;
    std::unique_ptr<ScopedEnv> url;
};

TEST_F(UpdateCheckTest, TheThreeVerdictsAndAnInvalidVersionFile) {
    ASSERT_TRUE(StartServer()) << "python3 -m http.server did not start";
    CMainFrame& f = Open();
    SetVersion("1.0.735\r\n");
    Check(f);
    SetVersion("1.0.734.9\n");
    Check(f);
    SetVersion("");
    Check(f);
    SetVersion("1.0.x.0\n");  // the "x" counts 0: older than this program
    Check(f);
    EXPECT_EQ(prompter.Messages(),
              (std::vector<std::string>{"You have the latest! All fine.", "No idea how you got a newer image.",
                                        kVersionFileInvalid, "No idea how you got a newer image."}));
    SetVersion("1.0.736.0\n");
    prompter.answers = {Answer::No};
    Check(f, [](CInlineUpdateDlg& u) {
        EXPECT_FALSE(Control<QWidget>(&u, "1383")->isEnabled());
        EXPECT_TRUE(Control<QWidget>(&u, "1368")->isEnabled());  // for a later download
        EXPECT_TRUE(u.LogText().contains("You need to download the latest."));
    });
    ASSERT_EQ(prompter.Questions().size(), 1u);
    EXPECT_EQ(prompter.Questions()[0].rfind("You do not have the latest. Your machine has: 1.0.735.0 "
                                            "Latest version is: 1.0.736.0",
                                            0),
              0u);
    EXPECT_FALSE(std::filesystem::exists(Program() + "/UpdateQVL_2.exe"));
    EXPECT_TRUE(f.isVisible());
}

TEST_F(UpdateCheckTest, AServerThatDoesNotAnswerIsAFailureWithoutVerdict) {
    const int free = FreePort();
    ScopedEnv env("QVL_UPDATE_URL", ("http://127.0.0.1:" + std::to_string(free)).c_str());
    CMainFrame& f = Open();
    Check(f, [](CInlineUpdateDlg& u) {
        EXPECT_TRUE(Control<QWidget>(&u, "1383")->isEnabled());
        EXPECT_FALSE(Control<QWidget>(&u, "1368")->isEnabled());
    });
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Failed to retrieve information from server."});
    // A missing version file on a running server is the same failure.
    ASSERT_TRUE(StartServer());
    prompter.entries.clear();
    Check(f);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Failed to retrieve information from server."});
}

TEST_F(UpdateCheckTest, AFailedDownloadIsReportedAndTheProgramStays) {
    ASSERT_TRUE(StartServer());
    CMainFrame& f = Open();
    SetVersion("1.0.736.0\n");
    prompter.answers = {Answer::Yes};
    Check(f, [](CInlineUpdateDlg& u) {
        EXPECT_FALSE(u.UpdaterStarted());
        EXPECT_TRUE(Control<QWidget>(&u, "1368")->isEnabled());
    });
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0].rfind("Failed to download UpdateQVL_2.exe", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(Program() + "/UpdateQVL_2.exe"));
    EXPECT_TRUE(std::filesystem::is_empty(Program()));  // no temporary file left behind
    EXPECT_TRUE(f.isVisible());
}

TEST_F(UpdateCheckTest, TheUpdaterIsDownloadedAndStartedAndTheWindowCloses) {
    ASSERT_TRUE(StartServer());
    const std::string marker = tmp / "updater-ran";
    WriteFile(Web() + "/download/UpdateQVL_2.exe", "#!/bin/sh\necho started > '" + marker + "'\n");
    CMainFrame& f = Open();
    SetVersion("1.0.736.0\n");
    prompter.answers = {Answer::Yes};
    Check(f, [](CInlineUpdateDlg& u) {
        EXPECT_TRUE(u.UpdaterStarted());
        EXPECT_EQ(u.result(), QDialog::Accepted);
        EXPECT_TRUE(u.LogText().contains("Download complete."));
    });
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }, 5000));
    const auto perms = std::filesystem::status(Program() + "/UpdateQVL_2.exe").permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none);
    EXPECT_TRUE(prompter.Messages().empty());
    // The data were saved before the updater started, and the window closed.
    EXPECT_TRUE(std::filesystem::exists(g_strSessionInfoDir + kMasterFileName));
    EXPECT_FALSE(f.isVisible());
}

// An update server that misbehaves as the base address's last part says:
// "endless" sends an endless version file, "endlessexe" an endless updater,
// "trickle" an updater one byte at a time, "cut" less than it announced,
// "html" a page instead of a program; "good" serves the file named on its
// command line.
class MisbehavingServerTest : public UpdateCheckTest {
protected:
    bool StartMisbehaving(const std::string& updater) {
        const std::string script = tmp / "server.py";
        WriteFile(script, R"(import sys, time, http.server
class H(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    def log_message(self, *a): pass
    def head(self, length=None):
        self.send_response(200)
        if length is not None: self.send_header("Content-Length", str(length))
        self.end_headers()
    def do_GET(self):
        mode, _, name = self.path.strip("/").partition("/download/")
        try:
            if name == "QVL-Version.txt":
                if mode == "endless":
                    self.head()
                    for _ in range(1024): self.wfile.write(b"1" * 65536)
                    return
                self.head(10); self.wfile.write(b"1.0.736.0\n"); return
            if mode == "endlessexe":
                self.head(); self.wfile.write(b"#!/bin/sh\n")
                for _ in range(1024): self.wfile.write((b"#" * 1023 + b"\n") * 64)
            elif mode == "trickle":
                self.head(1000)
                for _ in range(1000): self.wfile.write(b"#"); time.sleep(0.05)
            elif mode == "cut":
                self.head(5000); self.wfile.write(b"#!/bin/sh\n" + b"#" * 200)
            elif mode == "html":
                body = b"<html><body>Moved</body></html>\n"; self.head(len(body)); self.wfile.write(body)
            else:
                body = open(sys.argv[2], "rb").read(); self.head(len(body)); self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), H).serve_forever()
)");
        WriteFile(tmp / "good.sh", updater);
        port = FreePort();
        server = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/python3", script, std::to_string(port), tmp / "good.sh"});
        return WaitFor([&] { return AcceptsConnection(port); }, 8000);
    }
    void Mode(const std::string& mode) {
        url.reset();
        url = std::make_unique<ScopedEnv>("QVL_UPDATE_URL",
                                          ("http://127.0.0.1:" + std::to_string(port) + "/" + mode).c_str());
    }
    // Checks and downloads from that server; the download must fail.
    std::string DownloadFails(CMainFrame& f, const std::string& mode) {
        Mode(mode);
        prompter.entries.clear();
        prompter.answers = {Answer::Yes};
        Check(f, [](CInlineUpdateDlg& u) { EXPECT_FALSE(u.UpdaterStarted()); });
        EXPECT_TRUE(std::filesystem::is_empty(Program())) << mode;  // nothing kept, not even in part
        EXPECT_TRUE(f.isVisible());
        return prompter.Messages().size() == 1 ? prompter.Messages()[0] : "";
    }
    void TearDown() override {
        UpdateLimitValues() = UpdateLimits();
        UpdateCheckTest::TearDown();
    }
};

TEST_F(MisbehavingServerTest, AnEndlessOrTricklingDownloadEndsAtItsCapOrItsDeadline) {
    ASSERT_TRUE(StartMisbehaving("#!/bin/sh\n"));
    UpdateLimitValues().maxUpdaterBytes = 1 << 20;
    UpdateLimitValues().updaterMs = 1500;
    CMainFrame& f = Open();
    Mode("endless");
    Check(f);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{kRetrieveFailed});
    EXPECT_EQ(DownloadFails(f, "endlessexe"), "Failed to download UpdateQVL_2.exe: the server sent more than 1048576 bytes");
    EXPECT_EQ(DownloadFails(f, "trickle"), "Failed to download UpdateQVL_2.exe: the transfer took longer than 1 seconds");
}

TEST_F(MisbehavingServerTest, OnlyAWholeProgramIsKeptAndRunAndALeftoverPageIsFetchedAnew) {
    const std::string marker = tmp / "updater-ran";
    ASSERT_TRUE(StartMisbehaving("#!/bin/sh\necho started > '" + marker + "'\n"));
    CMainFrame& f = Open();
    EXPECT_EQ(DownloadFails(f, "cut").rfind("Failed to download UpdateQVL_2.exe: ", 0), 0u);
    EXPECT_EQ(DownloadFails(f, "html"), "Failed to download UpdateQVL_2.exe: the downloaded file is not a program");
    // A page an older download left under the updater's name is never run:
    // the updater is fetched anew.
    WriteFile(Program() + "/UpdateQVL_2.exe", "<html>Moved</html>\n");
    std::filesystem::permissions(Program() + "/UpdateQVL_2.exe", std::filesystem::perms::owner_all);
    Mode("good");
    prompter.entries.clear();
    prompter.answers = {Answer::Yes};
    Check(f, [](CInlineUpdateDlg& u) {
        EXPECT_TRUE(u.UpdaterStarted());
        EXPECT_TRUE(u.LogText().contains("Download complete."));
    });
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }, 5000));
    EXPECT_TRUE(prompter.Messages().empty());
}

TEST_F(UpdateCheckTest, ClosingTheDialogDuringACheckLeavesNoLateMessage) {
    // A server that takes the connection and never answers.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ScopedEnv env("QVL_UPDATE_URL", ("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port))).c_str());
    CMainFrame& f = Open();
    drivers["Inline Update"] = [](QDialog& dlg) {
        Press(&dlg, "1383");
        EXPECT_TRUE(static_cast<CInlineUpdateDlg&>(dlg).Checking());
        QTest::qWait(100);
        Press(&dlg, "1");  // Close
    };
    f.ExecuteCommand(32502);
    QTest::qWait(100);
    ::close(fd);
    QTest::qWait(100);
    EXPECT_TRUE(prompter.Messages().empty());
    EXPECT_TRUE(prompter.Questions().empty());
    EXPECT_TRUE(f.isVisible());
}

// ---------------------------------------------------------------- user manual

TEST_F(SettingsCommandsTest, TheUserManualOpensOrAMissingOneIsReported) {
    CMainFrame& f = Open();
    std::vector<QUrl> opened;
    CSettingsCommands::s_openUrl = [&](const QUrl& u) {
        opened.push_back(u);
        return true;
    };
    f.ExecuteCommand(32501);
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(prompter.Messages()[0],
              "The user manual was not found: " + CSettingsCommands::ManualCandidates()[0]);
    const std::string manual = CSettingsCommands::ManualCandidates()[0];
    std::filesystem::create_directories(std::filesystem::path(manual).parent_path());
    WriteFile(manual, "<html></html>");
    f.ExecuteCommand(32501);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), manual);

    // F1 on a desktop without a browser: the opener fails, and the user is
    // told where the manual is.
    CSettingsCommands::s_openUrl = nullptr;
    const std::filesystem::path bin = tmp / "bin";
    std::filesystem::create_directories(bin);
    WriteFile(bin / "xdg-open", "#!/bin/sh\necho 'xdg-open: no method available' >&2\nexit 3\n");
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    ScopedEnv path("PATH", (bin.string() + ":/usr/bin:/bin").c_str());
    CAcceleratorManager keys;  // the key table, as the program installs it
    keys.Connect(&f, false);
    InstallAccelerators(keys);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f, 30000));
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f, 30000));
    EXPECT_TRUE(f.ShortcutsOf(32501).contains(QKeySequence("F1")));
    QTest::keyClick(&f, Qt::Key_F1);
    for (int i = 0; i < 500 && prompter.Messages().size() < 2; ++i) QTest::qWait(20);
    ASSERT_EQ(prompter.Messages().size(), 2u);
    EXPECT_EQ(prompter.Messages()[1], "No web browser could open the user manual. It is here:\r\n" + manual);
}

}  // namespace

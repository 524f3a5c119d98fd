// The options dialog's rules: the check before writing, the file limit, the
// page tree, the clamping of values read from the master file, and the
// editor a stored value stands for.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>

#include "model/Globals.h"
#include "model/ProgramData.h"
#include "platform/Prompter.h"
#include "remote/TransferEngine.h"
#include "model/ProgramOptionsRules.h"
#include "support/TempDir.h"

namespace {

class OptionsRules : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramOptions(); }
    void TearDown() override { ResetProgramOptions(); }
};

TEST_F(OptionsRules, AnIntervalOutsideItsRangeIsRefusedBeforeAnythingIsWritten) {
    for (const char* bad : {"0", "601", "", "abc", "-5", "12x", "99999999999"}) {
        OptionsDraft d = OptionsDraft::FromOptions();
        d.autoUpdateIncText = bad;
        d.singleClick = true;
        d.editor = "/usr/bin/vim";
        auto refusal = d.Validate();
        ASSERT_TRUE(refusal.has_value()) << bad;
        EXPECT_EQ(*refusal, "Please enter an integer between 1 and 600.");
        // The caller writes only after a successful check: nothing changed yet.
        EXPECT_FALSE(g_bSingleClick);
        EXPECT_EQ(g_strEditor, "");
    }
    for (const char* good : {"1", "600", " 30 "}) {
        OptionsDraft d = OptionsDraft::FromOptions();
        d.autoUpdateIncText = good;
        EXPECT_FALSE(d.Validate().has_value()) << good;
    }
}

TEST_F(OptionsRules, ApplyWritesEveryEditedValue) {
    OptionsDraft d = OptionsDraft::FromOptions();
    d.autoUpBasket = false;
    d.autoUpdate = false;
    d.useBinExt = false;
    d.closeLibrary = true;
    d.ftpUpdate = false;
    d.singleClick = true;
    d.sound = true;
    d.trace = true;
    d.binExtStr = ".iso";
    d.editor = "/usr/bin/vim";
    d.telnet = "/usr/bin/xterm";
    d.turnOffText = "250";
    d.txtOpnStr = ".md";
    d.autoUpdateIncText = "45";
    d.workMode = 1;
    d.optionSel = 403;
    ASSERT_FALSE(d.Validate());
    d.Apply();
    EXPECT_FALSE(g_bAutoUpBasket);
    EXPECT_FALSE(g_bAutoUpdate);
    EXPECT_FALSE(g_bUseBinExt);
    EXPECT_TRUE(g_bCloseLibrary);
    EXPECT_FALSE(g_bFtpUpdate);
    EXPECT_TRUE(g_bSingleClick);
    EXPECT_TRUE(g_bSoundsOn);
    EXPECT_TRUE(g_bTrace);
    EXPECT_EQ(g_strBinExtStr, ".iso");
    EXPECT_EQ(g_strEditor, "/usr/bin/vim");
    EXPECT_EQ(g_strTelnet, "/usr/bin/xterm");
    EXPECT_EQ(g_nTurnOff, 250);
    EXPECT_EQ(g_strTxtOpnStr, ".md");
    EXPECT_EQ(g_nAutoUpdateInc, 45);
    EXPECT_EQ(g_nWorkMode, 1);
    EXPECT_EQ(g_nOptionSel, 403);
}

TEST_F(OptionsRules, AFileLimitThatIsNoPositiveNumberBecomesTheDefault) {
    EXPECT_EQ(TurnOffFromText("250"), 250);
    EXPECT_EQ(TurnOffFromText("99999"), 99999);
    for (const char* t : {"", "0", "abc", "-5", "1e3"}) EXPECT_EQ(TurnOffFromText(t), 1000) << t;
}

TEST_F(OptionsRules, ZeroOrNegativeValuesFromTheMasterFileAreClamped) {
    CProgramData data;
    ASSERT_TRUE(data.ReadProgramOptions(
        "Program Option: Version=1.0.735.0, AutoUpdateInc=-5, TurnOff=-20, "));
    EXPECT_EQ(g_nAutoUpdateInc, 2);
    EXPECT_EQ(g_nTurnOff, 1000);
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, AutoUpdateInc=7, TurnOff=300, "));
    EXPECT_EQ(g_nAutoUpdateInc, 7);
    EXPECT_EQ(g_nTurnOff, 300);
}

TEST_F(OptionsRules, ThePageTreeHasUniqueCodesUnderTheirFolders) {
    std::set<int> codes;
    for (const auto& p : OptionPages()) {
        EXPECT_TRUE(codes.insert(p.code).second) << p.code;
        if (p.code >= 100) EXPECT_EQ(p.parentCode, p.code / 100) << p.code;
        else if (p.code > 0) EXPECT_EQ(p.parentCode, 0);
    }
    EXPECT_EQ(codes.size(), 19u);
    EXPECT_EQ(NormalisedPageCode(201), 201);
    EXPECT_EQ(NormalisedPageCode(-3), 0);
    EXPECT_EQ(NormalisedPageCode(104), 0);
    // Folders show no control; every leaf shows its own and the comment.
    for (int folder = 0; folder <= 5; ++folder) {
        EXPECT_TRUE(PageControls(folder).empty());
        EXPECT_EQ(PageComment(folder), "         Select a sub category for more information.");
    }
    EXPECT_EQ(PageControls(301), (std::vector<int>{1866, 1651, 1372, 1874, 1446, 1667}));
    EXPECT_EQ(PageComment(102).rfind("Comment: By default", 0), 0u);
    std::set<int> all(AllPageControls().begin(), AllPageControls().end());
    EXPECT_EQ(all.size(), AllPageControls().size());  // a control sits on one page only
}

TEST_F(OptionsRules, WindowsEditorValuesMeanThePlatformsEditor) {
    ScopedEnv visual("VISUAL", "");
    {
        ScopedEnv editor("EDITOR", "nano");
        EXPECT_EQ(ResolveEditorProgram("notepad.exe"), "nano");
        EXPECT_EQ(ResolveEditorProgram("NOTEPAD.EXE"), "nano");
        EXPECT_EQ(ResolveEditorProgram("C:\\Program Files\\Notepad++\\notepad++.exe"), "nano");
        EXPECT_EQ(ResolveEditorProgram(""), "nano");
        EXPECT_EQ(ResolveEditorProgram("/usr/bin/vim"), "/usr/bin/vim");
        EXPECT_EQ(ResolveEditorProgram("gedit"), "gedit");
    }
    {
        ScopedEnv editor("EDITOR", "");
        EXPECT_EQ(ResolveEditorProgram("notepad.exe"), "xdg-open");
        ScopedEnv v2("VISUAL", "code");
        EXPECT_EQ(ResolveEditorProgram("notepad.exe"), "code");
    }
    // The stored value keeps its key and text.
    CProgramData data;
    ASSERT_TRUE(data.ReadProgramOptions("Program Option: Version=1.0.735.0, Editor=notepad.exe, "));
    EXPECT_EQ(g_strEditor, "notepad.exe");
    EXPECT_NE(data.FormatProgramOptions().find("Editor=notepad.exe, "), std::string::npos);
}

TEST_F(OptionsRules, AnEmptyOrWindowsEditorOpensTheFileWithThePlatformsEditor) {
    TempDir tmp;
    const std::string script = tmp / "editor.sh";
    WriteFile(script, "#!/bin/sh\necho \"$1\" >> '" + (tmp / "opened") + "'\n");
    ::chmod(script.c_str(), 0755);
    ScopedEnv visual("VISUAL", "");
    ScopedEnv editor("EDITOR", script.c_str());
    RecordingPrompter prompter;
    ScopedPrompter scoped(prompter);
    EXPECT_TRUE(RunCommandLine("", "/tmp/a.txt"));
    EXPECT_TRUE(RunCommandLine("notepad.exe", "/tmp/b.txt"));
    EXPECT_TRUE(RunCommandLine("C:\\Tools\\edit.exe", "/tmp/c.txt"));
    for (int i = 0; i < 250 && ReadFile(tmp / "opened").size() < 33; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::string opened = ReadFile(tmp / "opened");
    for (const char* f : {"/tmp/a.txt\n", "/tmp/b.txt\n", "/tmp/c.txt\n"})
        EXPECT_NE(opened.find(f), std::string::npos) << f;
    EXPECT_TRUE(prompter.entries.empty());
}

}  // namespace

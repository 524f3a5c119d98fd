#include <gtest/gtest.h>

#include "model/Globals.h"

TEST(ProgramOptions, StartValues) {
    ResetProgramOptions();
    EXPECT_FALSE(g_bSingleClick);
    EXPECT_TRUE(g_bAutoUpdate);
    EXPECT_TRUE(g_bAutoUpBasket);
    EXPECT_EQ(g_nAutoUpdateInc, 1);
    EXPECT_EQ(g_nTurnOff, 1000);
    EXPECT_TRUE(g_bFtpUpdate);
    EXPECT_TRUE(g_bDiffLinear);
    EXPECT_EQ(g_strEditor, "");  // the platform's editor
    EXPECT_EQ(g_strTelnet, "cmd (Windows built-in Telnet)");
    EXPECT_EQ(g_strBinExtStr, g_strBinExtDefault);
    EXPECT_EQ(g_strTxtOpnStr, ".log .txt .com .bat .c .cpp .cxx .h .hpp .hxx .java");
    EXPECT_EQ(g_nTabWidth, 8);
    EXPECT_TRUE(g_bSortMatchCase);
    EXPECT_FALSE(g_bSortRemDuplicity);
    EXPECT_EQ(g_nWorkMode, 0);
    EXPECT_EQ(g_nLibIndex, 0);

    // The named globals are views of the one options object.
    g_nTurnOff = 5;
    EXPECT_EQ(g_Options.nTurnOff, 5);
    ResetProgramOptions();
    EXPECT_EQ(g_nTurnOff, 1000);
}

TEST(ProgramOptions, WorkerFlagsAndSharedValues) {
    ResetWorkerFlags();
    EXPECT_TRUE(g_bFtpIdle);
    EXPECT_FALSE(g_bFtpBreak);
    EXPECT_TRUE(g_bConversionIdle);
    EXPECT_TRUE(g_bBatchIdle);
    EXPECT_TRUE(g_bAddFilesIdle);
    EXPECT_FALSE(g_bAutoSync);
    EXPECT_EQ(g_nActiveTextWindow, 1);
    EXPECT_EQ(g_nTextBufferIndex, -1);
    EXPECT_EQ(g_strColumnDelimiter, "|");
    EXPECT_EQ(g_strColumnGap, "4");
    EXPECT_EQ(g_strUnixReplacement, "_");
    const std::string& t = g_strConcatTemplateDefault;
    EXPECT_EQ(t, "[+]" + std::string(76, '_') + "\r\n[+]{$FileName}\r\n[+]" +
                     std::string(76, '-') + "\r\n{$FileText}\r\n[+]" + std::string(76, '=') +
                     "\r\n");
    EXPECT_EQ(g_strConcatTemplateCurrent, t);
}

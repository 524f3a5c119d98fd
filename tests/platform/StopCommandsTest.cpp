#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "model/Globals.h"
#include "model/Trace.h"
#include "platform/Prompter.h"
#include "model/Sound.h"
#include "model/StopCommands.h"

namespace {
struct Lines : ITraceSink {
    std::vector<std::string> lines;
    void AppendLine(const std::string& l) override { lines.push_back(l); }
};

class StopCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ResetWorkerFlags();
        old = SetTraceSink(&sink);
        g_bSoundsOn = true;
        SetSoundPlayer([this](int hz, int ms) { tones.emplace_back(hz, ms); });
    }
    void TearDown() override {
        SetTraceSink(old);
        SetSoundPlayer({});
        g_bSoundsOn = false;
        ResetWorkerFlags();
    }
    Lines sink;
    ITraceSink* old = nullptr;
    std::vector<std::pair<int, int>> tones;
};
}  // namespace

TEST_F(StopCommands, StopFtpActsOnlyWhileFtpRuns) {
    g_bAutoSync = true;
    EXPECT_FALSE(OnStopFtp());  // idle: nothing changes, auto-sync untouched
    EXPECT_TRUE(g_bAutoSync);
    EXPECT_TRUE(tones.empty());

    g_bFtpIdle = false;
    g_bFtpTicker = true;
    EXPECT_TRUE(OnStopFtp());
    EXPECT_FALSE(g_bFtpIdle);  // busy until the worker's end routine runs
    EXPECT_TRUE(g_bFtpBreak);
    EXPECT_FALSE(g_bFtpTicker);
    EXPECT_FALSE(g_bAutoSync);
    EXPECT_EQ(sink.lines, std::vector<std::string>{"Auto-sync off."});
    EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{500, 100}, {100, 50}}));
    EXPECT_FALSE(OnStopFtp());  // a second press while the worker winds down
    EXPECT_EQ(tones.size(), 2u);
}

TEST_F(StopCommands, StopConversionSaysSoOnce) {
    g_bConversionIdle = false;
    EXPECT_TRUE(OnStopTextConversion());
    EXPECT_FALSE(OnStopTextConversion());
    EXPECT_EQ(sink.lines, std::vector<std::string>{"---Conversion aborted-(0)---"});
    EXPECT_TRUE(g_bConversionBreak);
}

TEST_F(StopCommands, StopAllWithNothingRunningLeavesAddFilesIdleAndBroken) {
    OnStopAllThreads();
    EXPECT_TRUE(g_bAddFilesIdle);
    EXPECT_TRUE(g_bAddFilesBreak);
    EXPECT_FALSE(g_bBatchBreak);  // batch only while it runs
    EXPECT_FALSE(g_bFtpBreak);
    EXPECT_TRUE(sink.lines.empty());

    g_bBatchIdle = false;
    g_bBatchTicker = true;
    OnStopAllThreads();
    EXPECT_FALSE(g_bBatchIdle);
    EXPECT_TRUE(g_bBatchBreak);
    EXPECT_FALSE(g_bBatchTicker);
}

TEST_F(StopCommands, SoundsOnlyWhenSwitchedOnAndAutoSyncToggles) {
    g_bSoundsOn = false;
    BeepDone();
    EXPECT_TRUE(tones.empty());
    g_bSoundsOn = true;
    BeepDone();
    EXPECT_EQ(tones, (std::vector<std::pair<int, int>>{{2400, 100}, {1200, 50}}));

    OnAutoSyncToRemote();
    OnAutoSyncToRemote();
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"Auto-sync on.", "Auto-sync off."}));
}

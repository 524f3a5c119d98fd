#include "app/ControlPanelPresenter.h"
#include "app/MainPresenter.h"
#include "widgets/SharedDialogs.h"
#include "convert/ConversionRun.h"
#include "UiFixture.h"

namespace {

class PresenterTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        MakeSampleArea();
        data.LoadMasterFile();
        main.SetControlPanel(&panel);
        main.ShowSession(0, 0, 0);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& r : main.FileRows()) t.push_back(r.text);
        return t;
    }
    CProgramData data;
    CMainPresenter main{data};
    CControlPanelPresenter panel{data, &main};
};

}  // namespace

TEST(MainRules, ShortHostNames) {
    EXPECT_EQ(GetShortHostName("www.example.com"), "www");
    EXPECT_EQ(GetShortHostName("10.0.0.7"), "10.0.0.7");
    EXPECT_EQ(GetShortHostName(""), "");
    EXPECT_EQ(GetShortHostName("plain"), "plain");
    EXPECT_EQ(GetShortHostName(".hidden.net"), ".hidden.net");
    EXPECT_EQ(HostLabel("www.example.com", "alice"), "www ~ alice");
    EXPECT_EQ(HostLabel("10.0.0.7", "root"), "10.0.0.7 ~ root");
    EXPECT_EQ(HostLabel(".hidden", "u"), ".hidden ~ u");
}

TEST_F(PresenterTest, ShowingASessionListsBasketsItemsAndSelection) {
    ASSERT_EQ(main.BasketRows().size(), 2u);
    EXPECT_EQ(main.BasketRows()[0].text, "Pages");
    EXPECT_EQ(main.SelectedBasketRow(), 0);
    ASSERT_EQ(main.FileRows().size(), 8u);
    EXPECT_EQ(main.FileRows()[0].text, "index.html");
    EXPECT_EQ(main.FileRows()[0].host, "www");
    EXPECT_EQ(main.FileRows()[3].host, "10.0.0.7");
    EXPECT_EQ(main.FileRows()[2].image, 18);  // main.c
    EXPECT_EQ(main.FileRows()[6].image, 3);   // pinned 3
    EXPECT_EQ(main.StatusText(), data.GetSelectionStatusText(0, 0, 0));

    data.SetSelection(0, 0, 1, {1});
    main.OnBasketClicked({1});
    EXPECT_EQ(data.GetCurBasket(), 1);
    ASSERT_EQ(main.FileRows().size(), 2u);
    EXPECT_FALSE(main.FileRows()[0].selected);
    EXPECT_TRUE(main.FileRows()[1].selected);

    // A session without baskets leaves both lists empty.
    data.LoadSessionFile(0, 1);
    data.DeleteAllBaskets(0, 1);
    main.ShowSession(0, 1, 0);
    EXPECT_TRUE(main.BasketRows().empty());
    EXPECT_TRUE(main.FileRows().empty());
}

TEST_F(PresenterTest, ShowingASessionEndsAutoSyncAndTheFileLimitStopsAutoUpdate) {
    g_bAutoSync = true;
    main.ShowSession(0, 0, 0);
    EXPECT_FALSE(g_bAutoSync);
    EXPECT_EQ(std::count(trace.lines.begin(), trace.lines.end(), "Auto-sync off."), 1);

    g_nTurnOff = 11;  // the session holds 10 items
    CMainPresenter::CheckFileLimit(data.GetSessionItemCount(0, 0));
    EXPECT_TRUE(g_bAutoUpdate);
    g_nTurnOff = 10;
    main.ShowSession(0, 0, 0);
    EXPECT_FALSE(g_bAutoUpdate);
    ASSERT_FALSE(trace.lines.empty());
    EXPECT_NE(trace.lines.back().find("File limit exceeded 10 files.\r\nAuto-update forcefully turned off."),
              std::string::npos);
    const auto before = trace.lines.size();
    main.ShowSession(0, 0, 0);  // already off: nothing more
    EXPECT_EQ(trace.lines.size(), before);
}

TEST_F(PresenterTest, SyncMarksForLocalRemoteMissingAndPinnedItems) {
    g_bAutoUpdate = false;
    // index.html changed locally, about.txt missing locally, main.c changed
    // remotely, util.h missing remotely.
    Touch(Files() + "/index.html", "changed\n", 1700000000);
    std::filesystem::remove(Files() + "/about.txt");
    data.SetRemoteModified(0, 0, 0, 2, "Yes");
    data.SetRemoteMissing(0, 0, 0, 3, "Yes");
    main.ShowSession(0, 0, 0);
    EXPECT_EQ(main.FileRows()[0].text, "*index.html");
    EXPECT_EQ(main.FileRows()[0].image, 24);
    EXPECT_EQ(main.FileRows()[1].text, "~about.txt");
    EXPECT_EQ(main.FileRows()[1].image, 26);
    EXPECT_EQ(main.FileRows()[2].image, 29);
    EXPECT_EQ(main.FileRows()[3].image, 28);
    EXPECT_EQ(main.FileRows()[6].image, 3);  // pinned, in sync
    EXPECT_EQ(main.LocalChangeList(), std::vector<int>{0});
    EXPECT_EQ(main.LocalMissingRows(), std::vector<int>{1});
    EXPECT_EQ(main.RemoteChangeList(), std::vector<int>{2});
    EXPECT_EQ(main.RemoteMissingRows(), std::vector<int>{3});
    EXPECT_EQ(main.LocalChangesSent(), 0);
    EXPECT_EQ(main.RemoteChangesFetched(), 0);
    EXPECT_EQ(main.BasketRows()[0].image, 2);

    // Static marks are not rewritten; blinking marks alternate.
    main.CheckSyncStatus();
    EXPECT_EQ(main.FileRows()[0].text, "*index.html");
    g_bAutoUpdate = true;
    main.SetBlinkCounter(0);
    main.CheckSyncStatus();
    EXPECT_EQ(main.FileRows()[0].text, "*index.html<-");
    EXPECT_EQ(main.FileRows()[0].image, 23);
    EXPECT_EQ(main.FileRows()[1].text, "~about.txt<-");
    EXPECT_EQ(main.FileRows()[1].image, 25);
    main.SetBlinkCounter(1);
    main.CheckSyncStatus();
    EXPECT_EQ(main.FileRows()[0].text, "*index.html");
    EXPECT_EQ(main.FileRows()[0].image, 24);

    // In step again: the plain name and the normal picture come back.
    data.GetFileItemPtr(0, 0, 0, 0)->RefreshLocalTime();
    main.CheckSyncStatus();
    EXPECT_EQ(main.FileRows()[0].text, "index.html");
    EXPECT_EQ(main.FileRows()[0].image, data.GetFileItem(0, 0, 0, 0).GetImageIndex());

    // Nothing changes while a transfer runs.
    Touch(Files() + "/notes.txt", "x\n", 1700000000);
    g_bFtpIdle = false;
    main.CheckSyncStatus();
    EXPECT_EQ(main.FileRows()[7].text, "notes.txt");
}

TEST_F(PresenterTest, RemoteChangeReport) {
    for (int f : {0, 1, 2}) data.SetRemoteModified(0, 0, 0, f, "Yes");
    data.SetRemoteMissing(0, 0, 0, 4, "Yes");
    main.FillFileItemList(0, 0, 0);
    trace.lines.clear();
    main.ReportRemoteChanges(true, true);
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_EQ(trace.lines[0],
              "3 modified in remote system.\r\n1 missing in remote system.\r\n3 ready for transfer to local.");
    for (int f : {0, 1, 2}) data.SetRemoteModified(0, 0, 0, f, "No");
    trace.lines.clear();
    main.ReportRemoteChanges(true, true);
    EXPECT_EQ(trace.lines, std::vector<std::string>{"1 missing in remote system.\r\n"});
    data.SetRemoteMissing(0, 0, 0, 4, "No");
    trace.lines.clear();
    main.ReportRemoteChanges(true, false);
    EXPECT_TRUE(trace.lines.empty());
    main.ReportRemoteChanges(true, true);
    EXPECT_EQ(trace.lines, std::vector<std::string>{"Remote files are in sync."});
    EXPECT_EQ(main.RemoteChangesFetched(), 1);
}

TEST_F(PresenterTest, BasketCommandsAddRenameDeleteSort) {
    prompter.texts = {std::string("Zeta")};
    main.OnAddBasket();
    EXPECT_EQ(data.GetBasketNames(0, 0), (std::vector<std::string>{"Pages", "Zeta", "Scripts"}));
    EXPECT_EQ(data.GetCurBasket(), 1);
    EXPECT_EQ(main.SelectedBasketRow(), 1);

    prompter.texts = {std::string("Zeta")};  // same name: nothing
    main.OnRenameBasket({1});
    prompter.texts = {std::string("Alpha")};
    main.OnRenameBasket({1});
    EXPECT_EQ(data.GetBasketName(0, 0, 1), "Alpha");
    EXPECT_EQ(main.BasketRows()[1].text, "Alpha");

    prompter.answers = {Answer::Yes};
    main.OnSortBaskets(true);
    EXPECT_EQ(data.GetBasketNames(0, 0), (std::vector<std::string>{"Alpha", "Pages", "Scripts"}));

    // Deleting the last of several selects the new last one.
    data.SetCurrentBasket(0, 0, 2);
    prompter.answers = {Answer::Yes};
    main.OnDeleteBasket({2});
    EXPECT_EQ(data.GetBasketCount(0, 0), 2);
    EXPECT_EQ(data.GetCurBasket(), 1);
    EXPECT_EQ(main.SelectedBasketRow(), 1);
    EXPECT_EQ(main.FileRows().size(), 8u);  // "Pages"

    prompter.answers = {Answer::No};
    main.OnDeleteBasket({0});
    EXPECT_EQ(data.GetBasketCount(0, 0), 2);
    prompter.answers = {Answer::Yes};
    main.OnDeleteBasket({0, 1});
    EXPECT_EQ(data.GetBasketCount(0, 0), 0);
    EXPECT_TRUE(main.BasketRows().empty());
    EXPECT_TRUE(main.FileRows().empty());
}

TEST_F(PresenterTest, BasketClicksKeysAndChangesAreRefusedWhileFtpRuns) {
    g_bFtpIdle = false;
    main.OnBasketClicked({1});
    EXPECT_EQ(data.GetCurBasket(), 0);
    EXPECT_EQ(trace.lines.back(), "Thread on session...[1f]");
    main.OnBasketListKey(CMainPresenter::BasketKey::Down, {0});
    EXPECT_EQ(data.GetCurBasket(), 0);
    EXPECT_EQ(main.FileRows().size(), 8u);
    main.OnAddBasket();
    main.OnDeleteBasket({0});
    prompter.answers = {Answer::Yes};
    main.OnSortBaskets(true);
    EXPECT_EQ(data.GetBasketCount(0, 0), 2);
    ASSERT_EQ(prompter.Messages().size(), 3u);
    EXPECT_EQ(prompter.Messages()[0], kFtpBusyRefusal);

    g_bFtpIdle = true;
    g_bAddFilesIdle = false;
    main.OnBasketClicked({1});
    EXPECT_EQ(trace.lines.back(), "Thread on session...[1]");
    main.OnAddBasket();
    EXPECT_EQ(trace.lines.back(), "Thread on session...[a]");
    g_bAddFilesIdle = true;

    // Up on the first and Down on the last do nothing.
    main.OnBasketListKey(CMainPresenter::BasketKey::Up, {0});
    EXPECT_EQ(data.GetCurBasket(), 0);
    main.OnBasketListKey(CMainPresenter::BasketKey::Down, {0});
    EXPECT_EQ(data.GetCurBasket(), 1);
    main.OnBasketListKey(CMainPresenter::BasketKey::Down, {1});
    EXPECT_EQ(data.GetCurBasket(), 1);
    EXPECT_TRUE(main.OnBasketListKey(CMainPresenter::BasketKey::SelectAll, {}));
}

TEST_F(UiTest, FirstLoadPreparesTheLibrariesAndTheCurrentMacro) {
    CProgramData data;
    CMainPresenter main{data};
    CurrentMacro = CMacro("x", "y");
    main.InitialLoad();
    EXPECT_GE(data.GetLibraryCount(), 1);
    EXPECT_EQ(CurrentMacro.Find, "Find Text");
    EXPECT_EQ(CurrentMacro.Replace, "Replace Text");
    EXPECT_EQ(CurrentMacro.IsMatchCase, 1);
    EXPECT_EQ(CurrentMacro.IsActive, 1);
    EXPECT_EQ(CurrentMacro.IsFindWild, 0);
    EXPECT_FALSE(g_bAutoSync);
    EXPECT_TRUE(trace.Has("Auto-sync off."));
}

TEST_F(PresenterTest, MovingItemsToAnotherBasket) {
    g_bFtpIdle = false;  // refused while a transfer works on the rows
    main.SetFileSelection({0});
    main.OnMoveItemsToBasket(1);
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 8);
    g_bFtpIdle = true;

    main.SetFileSelection({0, 2});
    main.OnMoveItemsToBasket(1);
    EXPECT_EQ(data.GetFileItemCount(0, 0, 0), 6);
    EXPECT_EQ(data.GetBasketFileNames(0, 0, 1),
              (std::vector<std::string>{"clean.sh", "build.sh", "index.html", "main.c"}));
    EXPECT_EQ(main.FileRows().size(), 6u);
    EXPECT_EQ(main.FileRows()[0].text, "about.txt");
}

TEST_F(PresenterTest, SelectionListsOfTheProgramData) {
    SelectSpec baskets = BuildSelectSpec(3, data);
    ASSERT_EQ(baskets.rows.size(), 2u);
    EXPECT_EQ(baskets.rows[1].cells[0], "Scripts");
    EXPECT_EQ(baskets.columns[0].first, "Baskets");
    SelectSpec items = BuildSelectSpec(2, data);
    ASSERT_EQ(items.rows.size(), 8u);
    EXPECT_EQ(items.rows[3].cells, (std::vector<std::string>{"util.h", "10.0.0.7"}));
    EXPECT_EQ(items.rows[2].image, 18);
    SelectSpec boxes = BuildSelectSpec(4, data);
    ASSERT_EQ(boxes.rows.size(), 2u);
    EXPECT_EQ(boxes.rows[1].cells[2], "Build");
    EXPECT_TRUE(BuildSelectSpec(1, data).rows.empty());
}

TEST_F(UiTest, ABasketAddedOnAFreshWorkAreaSurvivesASave) {
    {
        CProgramData data;
        CMainPresenter main{data};
        data.LoadMasterFile();
        main.ShowSession(data.GetCurProject(), data.GetCurSession(), data.GetCurBasket());
        prompter.texts = {std::string("Fresh")};
        main.OnAddBasket();
        ASSERT_TRUE(main.SaveProgramData());
    }
    CProgramData again;
    again.LoadMasterFile();
    again.LoadSessionFile(again.GetCurProject(), again.GetCurSession());
    const auto names = again.GetBasketNames(again.GetCurProject(), again.GetCurSession());
    EXPECT_NE(std::find(names.begin(), names.end(), "Fresh"), names.end());
}

TEST_F(UiTest, ABasketAddedToAProjectWithoutSessionsSurvivesASave) {
    {
        CProgramData data;
        CMainPresenter main{data};
        data.InsertProject("Empty", 0);
        prompter.texts = {std::string("First")};
        main.OnAddBasket();
        EXPECT_EQ(data.GetSessionCount(0), 1);
        ASSERT_TRUE(main.SaveProgramData());
    }
    CProgramData again;
    again.LoadMasterFile();
    ASSERT_EQ(again.GetSessionCount(0), 1);
    again.LoadSessionFile(0, 0);
    EXPECT_EQ(again.GetBasketNames(0, 0), std::vector<std::string>{"First"});
}

// The program started in this process as main() starts it, on the Xvfb
// that a driver test (QVL_UNDER_X) set up; elsewhere its tests skip and
// name the driver that runs them.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "JourneyFixture.h"
#include "UiFixture.h"
#include "app/MainFrame.h"
#include "app/QuorvellianApp.h"
#include "app/StartupBannerDlg.h"
#include "remote/FtpConnections.h"
#include "remote/FtpWorker.h"

class InProcessUnderXTest : public UiTest {
protected:
    explicit InProcessUnderXTest(std::string driver) : m_driver(std::move(driver)) {}
    void SetUp() override {
        if (!std::getenv("QVL_UNDER_X")) GTEST_SKIP() << "runs on Xvfb from " << m_driver;
        UiTest::SetUp();
        set = true;
    }
    void TearDown() override {
        if (!set) return;
        if (app) {
            if (frame && frame->isVisible()) frame->close();
            app->ExitInstance();
            app.reset();
        }
        JoinFtpWorker(10000);
        CloseAllConnections();
        UiTest::TearDown();
    }
    // The program as main() starts it.
    bool Start() {
        app = std::make_unique<CQuorvellianApp>();
        if (!app->InitInstance()) return false;
        frame = app->MainFrame();
        return true;
    }
    // From the driver: Escape sends the start-up banner away.
    void SendBannerAway() {
        hands.Focus(frame->Banner());
        hands.Key("Escape");
        hands.WaitGui([&] { return frame->Banner()->IsClosed(); }, 5000);
    }

    bool set = false;
    journey::Hands hands;
    std::unique_ptr<CQuorvellianApp> app;
    CMainFrame* frame = nullptr;

private:
    std::string m_driver;
};

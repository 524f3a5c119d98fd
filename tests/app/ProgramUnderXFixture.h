// The built program on a real X server, in a work area of its own.
#pragma once

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "UiFixture.h"
#include "support/XServer.h"

class ProgramUnderXTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        std::string why;
        if (!x.Start(why)) GTEST_SKIP() << why;
        if (::access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed (run scripts/setup)";
        env = qvltest::ProgramEnvUnderX(x.Display(), tmp.path());
    }
    void TearDown() override {
        program.reset();
        env.clear();
        UiTest::TearDown();
    }

    qvltest::XServer x;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    std::unique_ptr<qvltest::Child> program;
};

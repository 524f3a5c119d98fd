// The main window over the sample work area, with the ticks left to the tests
// that drive them, and the file-item list as the tests reach it.
#pragma once

#include <initializer_list>
#include <memory>

#include <QTreeWidget>

#include "UiFixture.h"
#include "app/MainFrame.h"

class SampleWindowTest : public UiTest {
protected:
    void TearDown() override {
        frame.reset();
        UiTest::TearDown();
    }
    CMainFrame& Open() {
        MakeSampleArea();
        frame = std::make_unique<CMainFrame>();
        frame->Timer().stop();  // ticks are driven by the tests that need them
        frame->show();
        return *frame;
    }
    CProgramData& D() { return frame->Data(); }
    QTreeWidget* List() { return frame->FileList(); }
    // Selects rows of the file-item list as the user would.
    void Select(std::initializer_list<int> rows) {
        List()->clearSelection();
        for (int r : rows) List()->topLevelItem(r)->setSelected(true);
    }

    std::unique_ptr<CMainFrame> frame;
};

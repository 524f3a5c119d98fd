// What the three diff windows, the File Diff Manager and the master palette
// share for the whole run: which pane was used last, the last two panes
// clicked, which windows the user has shown, and the find choices.
#pragma once

#include <vector>

struct CDiffWindowsState {
    // Window and pane last clicked, double-clicked or right-clicked.
    int lastWindow = 0;
    int lastPane = 0;
    // The last two distinct panes clicked, oldest first.
    std::vector<int> paneClicks;
    bool windowShown[3] = {false, false, false};
    bool managerShown = false;
    bool paletteShown = false;
    // Find Text: "Match partial" and the target (true: the master palette).
    bool findMatchPartial = true;
    bool findInMasterPalette = true;

    // Appends a pane to the click history when it differs from the last
    // entry; keeps only the last two.
    void PushPaneClick(int pane);
    // The two panes a two-line comparison uses, smaller first: the click
    // history, or left and middle when it holds fewer than two.
    void ComparePanes(int& lo, int& hi) const;
};

extern CDiffWindowsState g_DiffWindows;

// Back to the state of program start (tests).
void ResetDiffWindowsState();

#include "compare/DiffWindowsState.h"

#include <algorithm>

CDiffWindowsState g_DiffWindows;

void CDiffWindowsState::PushPaneClick(int pane) {
    if (!paneClicks.empty() && paneClicks.back() == pane) return;
    paneClicks.push_back(pane);
    if (paneClicks.size() > 2) paneClicks.erase(paneClicks.begin());
}

void CDiffWindowsState::ComparePanes(int& lo, int& hi) const {
    if (paneClicks.size() < 2) {
        lo = 0;
        hi = 2;
        return;
    }
    lo = std::min(paneClicks[0], paneClicks[1]);
    hi = std::max(paneClicks[0], paneClicks[1]);
}

void ResetDiffWindowsState() { g_DiffWindows = CDiffWindowsState(); }

// One line of the master palette.
#pragma once

#include <string>

// origin: where the line came from, also its icon: window * 2 + pane for
// lines added from a diff window (0-6), the same plus 7 for lines that
// overrode palette lines (7-13), 14 changed by a library conversion, 15
// loaded from a file, 16 typed in the editor or inserted blank.
// lineNo and group are always -1.
struct CMasterPaletteLine {
    int origin = 0;
    int lineNo = -1;
    int group = -1;
    std::string text;

    bool operator==(const CMasterPaletteLine&) const = default;
};

// Where the program-wide modeless dialogs wait beside the main window: each
// hidden dialog sits at its home position around the frame rectangle, and a
// shown one moves along with the frame.
#pragma once

struct PlaceRect {
    int left, top, right, bottom;
};
struct PlacePoint {
    int x, y;
};

// The dialogs in their placement order.
enum class HomeSlot {
    DefinedMacros = 1,
    TextConversionRules,
    Report,
    MakeSameHost,
    CutSessionFiles,
    CopySessionFiles,
    RenameDuplicate,
    BatchTextConversion,
    OutputFilenames,
    FindReplacePreview,
    DragAndDrop,
    InteractiveTextConversion,
    FileDiffManager,
    MasterFile,
    FileDiff0,
    FileDiff1,
    FileDiff2,
};

// The frame rectangle F: the frame's left, top and bottom, and a right edge
// at the frame's left + the basket list's width + 35.
PlaceRect FrameAnchor(const PlaceRect& frame, int topListWidth);

// The home position of a dialog of the given own height, for a work area of
// height H.
PlacePoint HomePosition(HomeSlot slot, const PlaceRect& F, int H, int ownHeight);

// A position moved just enough that a dialog of w x h lies inside the
// screen's work area (its left and top edges win when it is larger).
PlacePoint KeepOnScreen(PlacePoint p, int w, int h, const PlaceRect& screen);

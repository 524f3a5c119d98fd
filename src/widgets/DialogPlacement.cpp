#include "widgets/DialogPlacement.h"

PlaceRect FrameAnchor(const PlaceRect& frame, int topListWidth) {
    return {frame.left, frame.top, frame.left + topListWidth + 35, frame.bottom};
}

PlacePoint HomePosition(HomeSlot slot, const PlaceRect& F, int H, int ownHeight) {
    switch (slot) {
        case HomeSlot::DefinedMacros: return {F.left + 28, F.top + 86};
        case HomeSlot::TextConversionRules: return {F.right, F.top + 20};
        case HomeSlot::Report: return {F.left, F.top + H / 2 - 105};
        case HomeSlot::MakeSameHost:
        case HomeSlot::CutSessionFiles:
        case HomeSlot::CopySessionFiles: return {550, F.top + H / 2 - 105 + 74};
        case HomeSlot::RenameDuplicate: return {F.left + 550, F.top + 100};
        case HomeSlot::BatchTextConversion: return {F.left + 350, F.top + 173};
        case HomeSlot::OutputFilenames: return {F.left, F.top};
        case HomeSlot::FindReplacePreview: return {F.left, F.bottom - ownHeight - 54};
        case HomeSlot::DragAndDrop: return {F.left + 300, F.top + H - 250};
        case HomeSlot::InteractiveTextConversion: return {F.left + 320, F.top + 80};
        case HomeSlot::FileDiffManager: return {F.left + 14, F.bottom - ownHeight - 70};
        case HomeSlot::MasterFile: return {F.right, F.bottom - ownHeight};
        case HomeSlot::FileDiff0:
        case HomeSlot::FileDiff1: return {F.left + 227, F.top + 24};
        case HomeSlot::FileDiff2: return {F.left + 150, F.top + 24};
    }
    return {F.left, F.top};
}

PlacePoint KeepOnScreen(PlacePoint p, int w, int h, const PlaceRect& screen) {
    if (p.x + w - 1 > screen.right) p.x = screen.right - w + 1;
    if (p.y + h - 1 > screen.bottom) p.y = screen.bottom - h + 1;
    if (p.x < screen.left) p.x = screen.left;
    if (p.y < screen.top) p.y = screen.top;
    return p;
}

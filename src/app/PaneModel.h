// The panes of the status bar as data: their ids, widths, styles and texts,
// and which hosted control sits on which pane.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t kPaneNoBorders = 0x0100;
constexpr std::uint32_t kPaneDisabled = 0x04000000;
constexpr std::uint32_t kPaneStretch = 0x08000000;

struct PaneSettings {
    std::uint32_t id = 0;
    std::int32_t width = 0;
    std::uint32_t style = 0;
    std::int32_t reserved = 0;
    std::string text;
};

struct PaneControl {
    void* window = nullptr;
    std::uint32_t paneId = 0;
    bool autoDestroy = false;
};

class CPaneModel {
public:
    std::vector<PaneSettings> panes;
    std::vector<PaneControl> controls;

    int IndexOf(std::uint32_t id) const;
    // False outside 0 .. pane count or when the id has a pane already.
    bool AddIndicator(std::uint32_t id, int position);
    // False for an unknown id or the only pane; the pane's control record is
    // handed back in removed (window null when there was none).
    bool RemoveIndicator(std::uint32_t id, PaneControl* removed = nullptr);
    bool AddPaneControl(void* window, std::uint32_t id, bool autoDestroy);
    bool GetPaneInfoEx(int index, PaneSettings& out) const;
    bool SetPaneInfoEx(int index, const PaneSettings& in);
};

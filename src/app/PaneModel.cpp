#include "app/PaneModel.h"

int CPaneModel::IndexOf(std::uint32_t id) const {
    for (std::size_t i = 0; i < panes.size(); ++i)
        if (panes[i].id == id) return int(i);
    return -1;
}

bool CPaneModel::AddIndicator(std::uint32_t id, int position) {
    if (position < 0 || position > int(panes.size()) || IndexOf(id) >= 0) return false;
    PaneSettings p;
    p.id = id;
    panes.insert(panes.begin() + position, p);
    return true;
}

bool CPaneModel::RemoveIndicator(std::uint32_t id, PaneControl* removed) {
    int i = IndexOf(id);
    if (i < 0 || panes.size() <= 1) return false;
    panes.erase(panes.begin() + i);
    if (removed) *removed = PaneControl{};
    for (auto it = controls.begin(); it != controls.end(); ++it)
        if (it->paneId == id) {
            if (removed) *removed = *it;
            controls.erase(it);
            break;
        }
    return true;
}

bool CPaneModel::AddPaneControl(void* window, std::uint32_t id, bool autoDestroy) {
    if (IndexOf(id) < 0) return false;
    controls.push_back({window, id, autoDestroy});
    return true;
}

bool CPaneModel::GetPaneInfoEx(int index, PaneSettings& out) const {
    if (index < 0 || index >= int(panes.size())) return false;
    out = panes[std::size_t(index)];
    return true;
}

bool CPaneModel::SetPaneInfoEx(int index, const PaneSettings& in) {
    if (index < 0 || index >= int(panes.size())) return false;
    panes[std::size_t(index)] = in;
    return true;
}

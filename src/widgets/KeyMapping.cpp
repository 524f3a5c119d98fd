#include "widgets/KeyMapping.h"

#include "model/CommandTable.h"

namespace {
struct Pair {
    std::uint16_t vk;
    int qt;
};
const Pair kPairs[] = {
    {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab},      {0x0C, Qt::Key_Clear},
    {0x0D, Qt::Key_Return},    {0x13, Qt::Key_Pause},    {0x14, Qt::Key_CapsLock},
    {0x1B, Qt::Key_Escape},    {0x20, Qt::Key_Space},    {0x21, Qt::Key_PageUp},
    {0x22, Qt::Key_PageDown},  {0x23, Qt::Key_End},      {0x24, Qt::Key_Home},
    {0x25, Qt::Key_Left},      {0x26, Qt::Key_Up},       {0x27, Qt::Key_Right},
    {0x28, Qt::Key_Down},      {0x29, Qt::Key_Select},   {0x2A, Qt::Key_Print},
    {0x2B, Qt::Key_Execute},   {0x2C, Qt::Key_SysReq},   {0x2D, Qt::Key_Insert},
    {0x2E, Qt::Key_Delete},    {0x2F, Qt::Key_Help},     {0x5D, Qt::Key_Menu},
    {0x6A, Qt::Key_Asterisk},  {0x6B, Qt::Key_Plus},     {0x6D, Qt::Key_Minus},
    {0x6E, Qt::Key_Period},    {0x6F, Qt::Key_Slash},    {0x90, Qt::Key_NumLock},
    {0x91, Qt::Key_ScrollLock},
};
}  // namespace

int VirtualKeyToQt(std::uint16_t vk) {
    if (vk >= '0' && vk <= '9') return Qt::Key_0 + (vk - '0');
    if (vk >= 'A' && vk <= 'Z') return Qt::Key_A + (vk - 'A');
    if (vk >= 0x60 && vk <= 0x69) return Qt::Key_0 + (vk - 0x60);
    if (vk >= 0x70 && vk <= 0x87) return Qt::Key_F1 + (vk - 0x70);
    for (const auto& p : kPairs)
        if (p.vk == vk) return p.qt;
    return Qt::Key_unknown;
}

std::uint16_t QtKeyToVirtual(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return std::uint16_t('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return std::uint16_t('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return std::uint16_t(0x70 + (key - Qt::Key_F1));
    for (const auto& p : kPairs)
        if (p.qt == key) return p.vk;
    return 0;
}

QKeySequence AccelToSequence(std::uint8_t fVirt, std::uint16_t vk) {
    const int key = VirtualKeyToQt(vk);
    if (key == Qt::Key_unknown) return QKeySequence();
    int mods = 0;
    // NUMPAD0 ... DIVIDE are the keys of the number pad, not the main keys.
    if (vk >= 0x60 && vk <= 0x6F) mods |= Qt::KeypadModifier;
    if (fVirt & kKeyControl) mods |= Qt::ControlModifier;
    if (fVirt & kKeyAlt) mods |= Qt::AltModifier;
    if (fVirt & kKeyShift) mods |= Qt::ShiftModifier;
    return QKeySequence(mods | key);
}

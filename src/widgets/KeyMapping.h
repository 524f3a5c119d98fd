// Keystrokes of the accelerator table as Qt key sequences and back.
#pragma once

#include <QKeySequence>
#include <cstdint>

// The Qt key of a virtual-key code; Qt::Key_unknown when there is none.
int VirtualKeyToQt(std::uint16_t vk);
// The virtual-key code of a Qt key; 0 when there is none.
std::uint16_t QtKeyToVirtual(int key);
QKeySequence AccelToSequence(std::uint8_t fVirt, std::uint16_t vk);

// The default command table: the commands a user may bind to keys, with
// their default keystrokes and the texts the keyboard editor lists them by.
#pragma once

#include <cstddef>
#include <cstdint>

// Key flag bits of a keystroke.
constexpr std::uint8_t kKeyVirt = 1;
constexpr std::uint8_t kKeyShift = 4;
constexpr std::uint8_t kKeyControl = 8;
constexpr std::uint8_t kKeyAlt = 16;

// Virtual-key codes the table uses.
namespace vk {
constexpr std::uint16_t Back = 0x08;
constexpr std::uint16_t Pause = 0x13;
constexpr std::uint16_t Escape = 0x1B;
constexpr std::uint16_t Space = 0x20;
constexpr std::uint16_t Insert = 0x2D;
constexpr std::uint16_t Delete = 0x2E;
constexpr std::uint16_t F1 = 0x70;
constexpr std::uint16_t F4 = 0x73;
constexpr std::uint16_t F5 = 0x74;
constexpr std::uint16_t F7 = 0x76;
constexpr std::uint16_t F8 = 0x77;
constexpr std::uint16_t F9 = 0x78;
constexpr std::uint16_t F10 = 0x79;
constexpr std::uint16_t F11 = 0x7A;
constexpr std::uint16_t F12 = 0x7B;
}  // namespace vk

struct CommandKeyEntry {
    std::uint8_t keyFlags;   // kKeyVirt | kKeyShift | kKeyControl | kKeyAlt; 0 without a key
    std::uint16_t commandId;
    std::uint16_t key;       // virtual-key code; 0 without a key
    const char* text;        // "Category: position. name"
    bool locked;

    constexpr CommandKeyEntry(const char* text_, std::uint16_t id, bool locked_,
                              std::uint8_t flags, std::uint16_t key_)
        : keyFlags(flags), commandId(id), key(key_), text(text_), locked(locked_) {}
};

constexpr std::size_t kKeyedCommandCount = 55;
constexpr std::size_t kUnkeyedCommandCount = 21;

// Installed first, in this order.
extern const CommandKeyEntry g_KeyedCommands[kKeyedCommandCount];
// Registered after the keyed rows, without a key.
extern const CommandKeyEntry g_UnkeyedCommands[kUnkeyedCommandCount];

// The keyboard editor's operations on the accelerator manager: assigning
// with the duplicate and key-name checks, removing, the capture text, and
// the stored keystrokes that must not map one key to two commands.
#include <gtest/gtest.h>

#include "MemoryStore.h"
#include "platform/Prompter.h"
#include "settings/AcceleratorManager.h"

namespace {

class AccelEditorRules : public ::testing::Test {
protected:
    void SetUp() override { InstallAccelerators(m); }
    RecordingPrompter prompter;
    ScopedPrompter scoped{prompter};
    CAcceleratorManager m;
};

TEST_F(AccelEditorRules, AssignRefusesDuplicatesAndUnnamedKeys) {
    std::uint16_t holder = 0;
    // Ctrl+C belongs to "Edit: 1. Copy".
    EXPECT_EQ(m.AssignKeystroke(32579, 'C', true, false, false, &holder),
              CAcceleratorManager::AssignResult::Duplicate);
    ASSERT_NE(m.FindCommand(holder), nullptr);
    EXPECT_EQ(m.FindCommand(holder)->name, "Edit: 1. Copy");
    // Different modifiers are another keystroke.
    EXPECT_EQ(m.AssignKeystroke(32579, 'C', true, true, false),
              CAcceleratorManager::AssignResult::Assigned);
    EXPECT_EQ(m.FindKeystroke('C', true, true, false), std::optional<std::uint16_t>(32579));
    // A key code without a name in the key table is refused.
    EXPECT_EQ(m.AssignKeystroke(32579, 0xBA, true, false, false),
              CAcceleratorManager::AssignResult::UnnamedKey);
    EXPECT_EQ(m.AssignKeystroke(32579, 0, true, false, false),
              CAcceleratorManager::AssignResult::UnnamedKey);
    EXPECT_EQ(m.AssignKeystroke(1, 'K', true, false, false), CAcceleratorManager::AssignResult::NoCommand);
    const CAccelsOb& added = m.FindCommand(32579)->keys.back();
    EXPECT_EQ(added.fVirt, kKeyVirt | kKeyControl | kKeyAlt);
    EXPECT_FALSE(added.locked);
    EXPECT_TRUE(prompter.entries.empty());
}

TEST_F(AccelEditorRules, RemoveTakesUnlockedKeysOnly) {
    CAccelCommandOb* options = m.FindCommand(32579);
    ASSERT_EQ(options->keys.size(), 1u);
    CAccelsOb ctrlO = options->keys.front();
    EXPECT_EQ(m.RemoveKeystroke(32579, ctrlO), CAcceleratorManager::RemoveResult::Removed);
    EXPECT_TRUE(options->keys.empty());  // still listed, with no keystrokes
    EXPECT_EQ(m.RemoveKeystroke(32579, ctrlO), CAcceleratorManager::RemoveResult::NotFound);
    EXPECT_EQ(m.RemoveKeystroke(1, ctrlO), CAcceleratorManager::RemoveResult::NoCommand);
    // A locked keystroke stays.
    ASSERT_TRUE(m.SetAccel(kKeyVirt | kKeyControl, 32579, 'L', "Application: 5. Manage Options", true));
    CAccelsOb locked = options->keys.back();
    EXPECT_EQ(m.RemoveKeystroke(32579, locked), CAcceleratorManager::RemoveResult::Locked);
    EXPECT_EQ(options->keys.size(), 1u);
}

TEST_F(AccelEditorRules, TheCaptureTextJoinsModifiersAndKeyName) {
    EXPECT_EQ(KeystrokeText(0, true, false, false), "Ctrl");
    EXPECT_EQ(KeystrokeText(0x74, true, false, true), "Ctrl+Shift+F5");
    EXPECT_EQ(KeystrokeText(0x08, false, true, false), "Alt+BACK");
    EXPECT_EQ(KeystrokeText(0xBA, true, false, false), "Ctrl");
    EXPECT_EQ(AlreadyMappedText("Ctrl+C", "Edit: 1. Copy"),
              "Keystroke \"Ctrl+C\" is already mapped to:\r\n   Edit: 1. Copy\r\n\r\n"
              "If you really want to use this keystroke, you need to remove it from above mapping.");
}

TEST_F(AccelEditorRules, StoredKeysNeverMapOneKeystrokeTwiceNorKeepUnnamedKeys) {
    const std::uint32_t ctrlC = 'C' | (std::uint32_t(kKeyVirt | kKeyControl) << 16) | (2u << 24);
    const std::uint32_t unnamed = 0xBA | (std::uint32_t(kKeyVirt | kKeyControl) << 16) | (2u << 24);
    const std::uint32_t ctrlK = 'K' | (std::uint32_t(kKeyVirt | kKeyControl) << 16) | (2u << 24);
    // Options gets Ctrl+C (the user took it from Copy), a key without a name
    // and Ctrl+K twice.
    m.ApplyKeyboardArray({(1u << 16) | 0xFFFF, (4u << 16) | 32579, ctrlC, unnamed, ctrlK, ctrlK});
    const CAccelCommandOb* options = m.FindCommand(32579);
    ASSERT_EQ(options->keys.size(), 2u);
    EXPECT_EQ(options->keys[0].m_wKey, 'C');
    EXPECT_EQ(options->keys[1].m_wKey, 'K');
    EXPECT_EQ(m.FindKeystroke('C', true, false, false), std::optional<std::uint16_t>(32579));
    std::map<std::uint32_t, int> uses;
    for (const auto& e : m.BuildTable()) ++uses[(std::uint32_t(e.fVirt & ~kKeyVirt) << 16) | e.key];
    for (const auto& [k, n] : uses) EXPECT_EQ(n, 1) << std::hex << k;
}

TEST_F(AccelEditorRules, TheRegistryWipeDeletesTheSettingsKey) {
    MemoryStore store;
    const std::string path = "Software\\Org\\App\\Settings";
    store.CreateKey(path);
    store.keys[path]["Keyboard"] = "x";
    WipeSavedAccelerators(store, path);
    EXPECT_FALSE(store.KeyExists(path));
    EXPECT_TRUE(store.KeyExists("Software\\Org\\App"));
    WipeSavedAccelerators(store, "");  // nothing to delete
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "model/CommandTable.h"

TEST(CommandTable, RowCountsAndExactRows) {
    ASSERT_EQ(kKeyedCommandCount, 55u);
    ASSERT_EQ(kUnkeyedCommandCount, 21u);

    const CommandKeyEntry& first = g_KeyedCommands[0];
    EXPECT_EQ(first.commandId, 32501);
    EXPECT_EQ(first.keyFlags, 1);
    EXPECT_EQ(first.key, 0x70);
    EXPECT_STREQ(first.text, "Application: 1. About");

    const CommandKeyEntry& exitRow = g_KeyedCommands[2];
    EXPECT_EQ(exitRow.commandId, 57665);
    EXPECT_EQ(exitRow.keyFlags, 5);
    EXPECT_EQ(exitRow.key, 0x1B);

    // Ctrl+F and Ctrl+F12 both run the work pad; Ctrl+C and Ctrl+Insert both copy.
    EXPECT_EQ(g_KeyedCommands[16].commandId, 32642);
    EXPECT_EQ(g_KeyedCommands[16].key, 0x7B);
    EXPECT_EQ(g_KeyedCommands[17].commandId, 32642);
    EXPECT_EQ(g_KeyedCommands[17].key, 'F');
    EXPECT_EQ(g_KeyedCommands[24].commandId, 32627);
    EXPECT_EQ(g_KeyedCommands[25].commandId, 32627);
    EXPECT_EQ(g_KeyedCommands[25].key, 0x2D);

    // Alt rows and the second Undo key.
    for (int i = 19; i <= 23; ++i) EXPECT_EQ(g_KeyedCommands[i].keyFlags, 17) << i;
    EXPECT_EQ(g_KeyedCommands[31].commandId, 57643);
    EXPECT_EQ(g_KeyedCommands[31].keyFlags, 17);
    EXPECT_EQ(g_KeyedCommands[31].key, 0x08);

    EXPECT_STREQ(g_KeyedCommands[33].text, "File: 2. Replciate item");
    EXPECT_STREQ(g_KeyedCommands[54].text, "Session: 6. Rename session");
    EXPECT_EQ(g_KeyedCommands[54].keyFlags, 9);
    EXPECT_EQ(g_KeyedCommands[54].key, 0x77);

    EXPECT_STREQ(g_UnkeyedCommands[1].text, "Conversion: b. Repalce next");
    EXPECT_EQ(g_UnkeyedCommands[20].commandId, 32658);
    EXPECT_STREQ(g_UnkeyedCommands[20].text, "Xtra: To upper case");
}

TEST(CommandTable, NoKeystrokeTwiceAndOneTextPerCommand) {
    std::set<std::pair<int, int>> strokes;
    std::set<int> unkeyedIds;
    for (const auto& row : g_KeyedCommands) {
        EXPECT_TRUE(row.keyFlags & kKeyVirt) << row.text;
        EXPECT_TRUE(strokes.insert({row.keyFlags, row.key}).second) << row.text;
        EXPECT_FALSE(row.locked);
        for (const auto& other : g_KeyedCommands)
            if (other.commandId == row.commandId) EXPECT_STREQ(other.text, row.text);
    }
    for (const auto& row : g_UnkeyedCommands) {
        EXPECT_EQ(row.keyFlags, 0);
        EXPECT_EQ(row.key, 0);
        EXPECT_FALSE(row.locked);
        EXPECT_TRUE(unkeyedIds.insert(row.commandId).second) << row.text;
        for (const auto& keyed : g_KeyedCommands) EXPECT_NE(keyed.commandId, row.commandId);
    }
}

#include <gtest/gtest.h>

#include "settings/MemoryStore.h"
#include "settings/RegistryHelper.h"

namespace {
const std::string kPath = "Software\\QuorvellianToolbars-1.0.735.0\\Quorvellian\\Settings";
}

TEST(RegistryHelper, WritesAndReadsArraysOnlyBelowAnOpenExistingKey) {
    MemoryStore store;
    CRegistryHelper reg(&store);
    std::vector<std::uint32_t> v = {7};
    // Nothing is open: every call fails and says so.
    EXPECT_FALSE(reg.WriteObject("Keyboard", {1}));
    EXPECT_EQ(reg.LastResult(), CRegistryHelper::kInvalidHandle);
    EXPECT_FALSE(reg.Open(kPath));  // the key is not made behind the caller's back
    EXPECT_EQ(reg.LastResult(), CRegistryHelper::kFileNotFound);
    EXPECT_TRUE(store.keys.empty());

    store.CreateKey(kPath);
    ASSERT_TRUE(reg.Open(kPath));
    EXPECT_FALSE(reg.ValueExists("Keyboard"));
    EXPECT_FALSE(reg.ReadDWordArray("Keyboard", v));
    EXPECT_EQ(v, std::vector<std::uint32_t>{7});

    ASSERT_TRUE(reg.WriteObject("Keyboard", {0x0001FFFF, 0x00017F43, 0x0209004F}));
    EXPECT_EQ(reg.LastType(), CRegistryHelper::kBinary);
    EXPECT_EQ(reg.LastSize(), 14u);
    EXPECT_EQ(store.keys[kPath]["Keyboard"],
              std::string("\x03\x00\xFF\xFF\x01\x00\x43\x7F\x01\x00\x4F\x00\x09\x02", 14));
    EXPECT_TRUE(reg.ValueExists("Keyboard"));
    ASSERT_TRUE(reg.ReadDWordArray("Keyboard", v));
    EXPECT_EQ(v, (std::vector<std::uint32_t>{0x0001FFFF, 0x00017F43, 0x0209004F}));

    reg.Close();
    EXPECT_FALSE(reg.ReadDWordArray("Keyboard", v));
}

TEST(RegistryHelper, ReadFailuresAndOversizedValuesFail) {
    MemoryStore store;
    store.CreateKey(kPath);
    store.keys[kPath]["Big"] = std::string(CRegistryHelper::kMaxValueSize + 2, '\0');
    store.keys[kPath]["Short"] = std::string("\x03\x00\x01\x00\x00\x00\x02\x00", 8);
    CRegistryHelper reg(&store);
    ASSERT_TRUE(reg.Open(kPath));
    std::vector<std::uint32_t> v;
    EXPECT_FALSE(reg.ReadDWordArray("Big", v));
    EXPECT_EQ(reg.LastResult(), CRegistryHelper::kMoreData);
    // A value cut short gives its complete elements.
    ASSERT_TRUE(reg.ReadDWordArray("Short", v));
    EXPECT_EQ(v, std::vector<std::uint32_t>{1});

    store.failRead = true;
    EXPECT_TRUE(reg.ValueExists("Short"));  // present; the read reports the failure
    EXPECT_FALSE(reg.ReadDWordArray("Short", v));
    EXPECT_EQ(reg.LastResult(), CRegistryHelper::kReadFault);
    store.failWrite = true;
    EXPECT_FALSE(reg.WriteObject("Keyboard", {1}));
    EXPECT_EQ(reg.LastResult(), CRegistryHelper::kWriteFault);
}

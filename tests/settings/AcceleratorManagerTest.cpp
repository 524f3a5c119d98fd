#include <gtest/gtest.h>

#include <algorithm>

#include <map>

#include "platform/Prompter.h"
#include "settings/AcceleratorManager.h"
#include "settings/MemoryStore.h"

namespace {

class RecordingTarget : public IAcceleratorTarget {
public:
    std::vector<AccelEntry> table;
    int installs = 0;
    bool SetAcceleratorTable(const std::vector<AccelEntry>& t) override {
        table = t;
        ++installs;
        return true;
    }
};

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int x : b) s.push_back(char(x));
    return s;
}

const std::string kPath = "Software\\QuorvellianToolbars-1.0.735.0\\Quorvellian\\Settings";

std::uint16_t IdOf(const CAcceleratorManager& m, const char* name) { return *m.FindId(name); }

}  // namespace

TEST(AccelKeystroke, PackingNamingAndComparison) {
    CAccelsOb a{kKeyVirt | kKeyControl | kKeyShift, vk::F5, false};
    EXPECT_EQ(a.Pack(), 0x020D0074u);
    EXPECT_EQ(a.GetString(), "Ctrl+Shift+F5");
    CAccelsOb locked = CAccelsOb::Unpack(0x01090041);
    EXPECT_TRUE(locked.locked);
    EXPECT_EQ(locked.m_wKey, 'A');
    EXPECT_EQ(locked.fVirt, kKeyVirt | kKeyControl);
    EXPECT_FALSE(CAccelsOb::Unpack(0x02090041).locked);
    EXPECT_EQ((CAccelsOb{kKeyVirt | kKeyAlt, vk::Back, false}).GetString(), "Alt+BACK");
    EXPECT_EQ((CAccelsOb{kKeyVirt, vk::F1, false}).GetString(), "F1");
    EXPECT_EQ((CAccelsOb{kKeyVirt, 0, false}).GetString(), "");
    EXPECT_EQ(GetKeyName(0x6F), "DIVIDE");
    EXPECT_EQ(GetKeyName(0x87), "F24");
    EXPECT_EQ(GetKeyName(0xFE), "VK_OEM_CLEAR");
    EXPECT_FALSE(GetKeyName(0x07).has_value());

    RecordingPrompter rec;
    ScopedPrompter sp(rec);
    EXPECT_EQ((CAccelsOb{kKeyVirt | kKeyControl, 0x07, false}).GetString(), "Ctrl+");
    ASSERT_EQ(rec.Messages().size(), 1u);
    EXPECT_EQ(rec.Messages()[0], "Internal error : (CAccelsOb::GetString) m_wKey invalid");

    EXPECT_TRUE(a.IsEqual(vk::F5, true, false, true));
    EXPECT_FALSE(a.IsEqual(vk::F5, true, false, false));
    EXPECT_TRUE((CAccelsOb{kKeyControl, 'A', false}).IsEqual('A', true, false, false));
}

TEST(AccelArray, SerializedCountFormsAndShortValues) {
    EXPECT_EQ(SerializeDWordArray({1, 2}), Bytes({2, 0, 1, 0, 0, 0, 2, 0, 0, 0}));
    std::vector<std::uint32_t> big(70000, 7);
    std::string s = SerializeDWordArray(big);
    EXPECT_EQ(s.substr(0, 6), Bytes({0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
    std::vector<std::uint32_t> back;
    EXPECT_TRUE(DeserializeDWordArray(s, back));
    EXPECT_EQ(back, big);
    // A value cut short keeps the complete elements.
    EXPECT_FALSE(DeserializeDWordArray(Bytes({3, 0, 1, 0, 0, 0, 2, 0}), back));
    EXPECT_EQ(back, std::vector<std::uint32_t>{1});
}

TEST(AccelManager, DefaultTableGivesSeventyOneCommandsAndFiftyFiveKeys) {
    RecordingTarget frame;
    CAcceleratorManager m;
    m.Connect(&frame, false);
    InstallAccelerators(m);
    EXPECT_EQ(m.Commands().size(), 71u);
    EXPECT_EQ(frame.table.size(), 55u);
    EXPECT_TRUE(m.DefaultSaved());
    EXPECT_FALSE(m.SaveDefaultTable());  // filled once
    const auto* copy = &m.Commands().at(32627);
    ASSERT_EQ(copy->keys.size(), 2u);
    EXPECT_EQ(copy->keys[0].GetString(), "Ctrl+C");
    EXPECT_EQ(copy->keys[1].GetString(), "Ctrl+INSERT");
    EXPECT_EQ(m.Commands().at(32642).keys.size(), 2u);  // Workpad: Ctrl+F12, Ctrl+F
    EXPECT_TRUE(m.Commands().at(32641).keys.empty());
    EXPECT_EQ(IdOf(m, "Conversion: b. Repalce next"), 32648);
}

TEST(AccelManager, SetAccelRefusesConflicts) {
    CAcceleratorManager m;
    EXPECT_TRUE(m.SetAccel(9, 100, 'A', "X: a", false));
    EXPECT_FALSE(m.SetAccel(9, 100, 'A', "X: a", false));  // same keystroke
    EXPECT_FALSE(m.SetAccel(9, 101, 'B', "X: a", false));  // name of another id
    EXPECT_FALSE(m.SetAccel(9, 100, 'B', "X: other", false));  // other name for the id
    EXPECT_TRUE(m.SetAccel(5, 100, 'A', "X: a", false));   // same key, other flags
    EXPECT_EQ(m.Commands().at(100).keys.size(), 2u);
    m.CreateEntry(102, "X: a");  // name in use: nothing
    EXPECT_EQ(m.Commands().count(102), 0u);
}

TEST(AccelManager, StoredValueExactBytes) {
    CAcceleratorManager m;
    m.SetAccel(9, 32579, 'O', "Application: 5. Manage Options", false);
    m.CreateEntry(32501, "Application: 1. About");
    EXPECT_EQ(m.BuildKeyboardValue(),
              Bytes({0x03, 0x00, 0xFF, 0xFF, 0x01, 0x00, 0x43, 0x7F, 0x01, 0x00, 0x4F, 0x00,
                     0x09, 0x02}));
    // Locked keystrokes are never written.
    m.SetAccel(9, 32501, 'Q', "Application: 1. About", true);
    EXPECT_EQ(m.BuildKeyboardValue().size(), 14u);
}

TEST(AccelManager, UserKeysOverlayAndSurviveARoundTrip) {
    MemoryStore store;
    store.CreateKey(kPath);
    {
        RecordingTarget frame;
        CAcceleratorManager m;
        m.SetStore(&store);
        m.Connect(&frame, true);
        InstallAccelerators(m);
        ASSERT_EQ(LoadUserAccelerators(m, "QuorvellianToolbars-1.0.735.0", "Quorvellian"), kPath);
        CAccelCommandOb* about = m.FindCommand(32501);
        about->RemoveUnlocked();
        about->keys.push_back({kKeyVirt | kKeyControl | kKeyAlt, 'B', false});
        m.FindCommand(32580)->RemoveUnlocked();  // "Save data" loses its key
    }  // written on destruction
    ASSERT_TRUE(store.keys[kPath].count("Keyboard"));

    RecordingTarget frame;
    CAcceleratorManager m;
    m.SetStore(&store);
    m.Connect(&frame, false);
    InstallAccelerators(m);
    int before = frame.installs;
    EXPECT_EQ(LoadUserAccelerators(m, "QuorvellianToolbars-1.0.735.0", "Quorvellian"), kPath);
    EXPECT_EQ(frame.installs, before + 1);  // rebuilt after the overlay
    ASSERT_EQ(m.Commands().at(32501).keys.size(), 1u);
    EXPECT_EQ(m.Commands().at(32501).keys[0].GetString(), "Ctrl+Alt+B");
    // A command whose default key was taken away stays without it.
    EXPECT_TRUE(m.Commands().at(32580).keys.empty());
    // It is stored as a group of no keys ((0 << 16) | id); a command that
    // never had keys is left out as before.
    const std::vector<std::uint32_t> a = m.BuildKeyboardArray();
    EXPECT_NE(std::find(a.begin(), a.end(), 32580u), a.end());
    EXPECT_EQ(std::find(a.begin(), a.end(), 32601u), a.end());  // 32601 has no default key
}

TEST(AccelManager, LoadSkipsUnknownIdsAndIgnoresForeignValues) {
    CAcceleratorManager m;
    InstallAccelerators(m);
    // Two groups: an unknown id 1 with one key, then "About" with Alt+A.
    std::vector<std::uint32_t> v = {(2u << 16) | 0xFFFF, (1u << 16) | 1, 0x02010041,
                                    (1u << 16) | 32501, 0x02110041};
    m.ApplyKeyboardValue(SerializeDWordArray(v));
    EXPECT_EQ(m.Commands().at(32501).keys[0].GetString(), "Alt+A");

    CAcceleratorManager other;
    InstallAccelerators(other);
    other.ApplyKeyboardValue(SerializeDWordArray({(1u << 16) | 0x1234, (1u << 16) | 32501, 0x02110042}));
    EXPECT_EQ(other.Commands().at(32501).keys[0].GetString(), "F1");  // element 0 foreign
    other.ApplyKeyboardValue(SerializeDWordArray({0xFFFF}));          // zero groups
    EXPECT_EQ(other.Commands().at(32501).keys[0].GetString(), "F1");

    // Counts that run past the end apply the complete groups only.
    CAcceleratorManager cut;
    InstallAccelerators(cut);
    cut.ApplyKeyboardValue(SerializeDWordArray(
        {(2u << 16) | 0xFFFF, (1u << 16) | 32501, 0x02110041, (3u << 16) | 32580, 0x02010041}));
    EXPECT_EQ(cut.Commands().at(32501).keys[0].GetString(), "Alt+A");
    EXPECT_EQ(cut.Commands().at(32580).keys[0].GetString(), "Ctrl+S");
}

TEST(AccelManager, LockedKeysStayAndRestoreBringsDefaultsBack) {
    CAcceleratorManager m;
    InstallAccelerators(m);
    m.ApplyKeyboardValue(SerializeDWordArray({(1u << 16) | 0xFFFF, (2u << 16) | 32501, 0x01090041,
                                              0x02090042}));
    ASSERT_EQ(m.Commands().at(32501).keys.size(), 2u);
    EXPECT_TRUE(m.Commands().at(32501).keys[0].locked);
    m.RestoreDefaultTable();
    ASSERT_EQ(m.Commands().at(32501).keys.size(), 2u);
    EXPECT_TRUE(m.Commands().at(32501).keys[0].locked);
    EXPECT_EQ(m.Commands().at(32501).keys[1].GetString(), "F1");

    CAcceleratorManager copy;
    copy = m;
    EXPECT_EQ(copy.Commands().size(), 71u);
    EXPECT_TRUE(copy.DefaultSaved());
}

TEST(AccelManager, ExitWriteOnlyIntoAnExistingKey) {
    MemoryStore store;
    {
        CAcceleratorManager m;
        m.SetStore(&store);
        m.Connect(nullptr, true);
        InstallAccelerators(m);
        m.Load(kPath);
    }
    EXPECT_FALSE(store.KeyExists(kPath));  // nothing created behind the user's back

    store.CreateKey(kPath);
    store.failWrite = true;
    RecordingPrompter rec;
    ScopedPrompter sp(rec);
    {
        CAcceleratorManager m;
        m.SetStore(&store);
        m.Connect(nullptr, true);
        InstallAccelerators(m);
        m.Load(kPath);
    }
    ASSERT_EQ(rec.Messages().size(), 1u);
    EXPECT_EQ(rec.Messages()[0],
              "CAcceleratorManager::~CAcceleratorManager\nError in CAcceleratorManager::Write...");

    store.failRead = true;
    CAcceleratorManager m;
    m.SetStore(&store);
    EXPECT_EQ(LoadUserAccelerators(m, "QuorvellianToolbars-1.0.735.0", "Quorvellian"), "");
    EXPECT_EQ(rec.Messages().back(), "Loading User accelerators failed !!");
}

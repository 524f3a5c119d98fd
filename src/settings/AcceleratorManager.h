// The keyboard accelerators of the main window: the default command table,
// the user's keystrokes kept in the registry value "Keyboard", and the table
// the main window translates keys with.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/CommandTable.h"

// One keystroke.
struct CAccelsOb {
    std::uint8_t fVirt = kKeyVirt;  // kKeyVirt | kKeyShift | kKeyControl | kKeyAlt
    std::uint16_t m_wKey = 0;       // virtual-key code
    bool locked = false;

    // Bits 0-15 the key, 16-23 the flags, 24-31 1 for locked, 2 for unlocked.
    std::uint32_t Pack() const;
    static CAccelsOb Unpack(std::uint32_t packed);

    // "Ctrl+Shift+F5", "Alt+BACK", "F1"; empty without a key. An unknown key
    // code reports "Internal error : (CAccelsOb::GetString) m_wKey invalid"
    // and gives the modifiers built so far.
    std::string GetString() const;

    // Same key and same Ctrl, Alt and Shift; the virtual-key bit is ignored.
    bool IsEqual(std::uint16_t key, bool ctrl, bool alt, bool shift) const;

    bool operator==(const CAccelsOb& o) const {
        return fVirt == o.fVirt && m_wKey == o.m_wKey && locked == o.locked;
    }
};

// One command with its keystrokes in order.
struct CAccelCommandOb {
    std::uint16_t id = 0;
    std::string name;
    std::vector<CAccelsOb> keys;

    bool HasUnlocked() const;
    void RemoveUnlocked();
};

// The name of a virtual-key code in the key-name table, nothing when absent.
std::optional<std::string> GetKeyName(std::uint16_t key);

// One entry of the installed accelerator table.
struct AccelEntry {
    std::uint8_t fVirt;
    std::uint16_t key;
    std::uint16_t commandId;
};

// The window that translates keys with the table (the main frame).
class IAcceleratorTarget {
public:
    virtual ~IAcceleratorTarget() = default;
    // Replaces the window's table; false keeps the previous one.
    virtual bool SetAcceleratorTable(const std::vector<AccelEntry>& table) = 0;
};

// The registry storage of binary values below a key path.
class IRegistryStore {
public:
    virtual ~IRegistryStore() = default;
    virtual bool KeyExists(const std::string& path) = 0;
    // Creates the key when missing; false when it cannot be created.
    virtual bool CreateKey(const std::string& path) = 0;
    // Removes the key with its values.
    virtual bool DeleteKey(const std::string& path) = 0;
    // nullopt when the value does not exist. Sets ok to false on a read failure.
    virtual std::optional<std::string> ReadBinary(const std::string& path, const std::string& name,
                                                  bool& ok) = 0;
    virtual bool WriteBinary(const std::string& path, const std::string& name,
                             const std::string& bytes) = 0;
};

// The serialized array of 32-bit values: a 16-bit count (or 0xFFFF and a
// 32-bit count), then the elements, all little-endian.
std::string SerializeDWordArray(const std::vector<std::uint32_t>& values);
// False when the bytes end before the announced count; the complete elements
// read so far are still returned.
bool DeserializeDWordArray(const std::string& bytes, std::vector<std::uint32_t>& values);

class CAcceleratorManager {
public:
    CAcceleratorManager() = default;
    ~CAcceleratorManager();
    CAcceleratorManager(const CAcceleratorManager&) = delete;
    // Deep copy of the commands, default map and name map; target, store,
    // path and auto-save of this manager stay.
    CAcceleratorManager& operator=(const CAcceleratorManager& other);

    void Connect(IAcceleratorTarget* frame, bool autoSave);
    void SetStore(IRegistryStore* store) { m_store = store; }

    bool SetAccel(std::uint8_t fVirt, std::uint16_t id, std::uint16_t key, const std::string& name,
                  bool locked);
    bool AddDefaultAccel(const CommandKeyEntry& row);
    void CreateEntry(std::uint16_t id, const std::string& name);
    void AddCommand(const CommandKeyEntry& row);

    bool CreateAcceleratorTable();
    bool SaveDefaultTable();
    void RestoreDefaultTable();

    // Reads "Keyboard" below the path and overlays it; false on a read failure.
    bool Load(const std::string& path);
    // Writes the unlocked keystrokes as "Keyboard" below the path.
    bool Write();
    // The array Write stores: (groups << 16) | 0xFFFF, then per command with
    // unlocked keystrokes, or with none left of its default ones,
    // (count << 16) | id and the packed keystrokes.
    std::vector<std::uint32_t> BuildKeyboardArray() const;
    // Whether the default table gave the command keys the user can change.
    bool HadDefaultKeys(std::uint16_t id) const;
    // Its bytes.
    std::string BuildKeyboardValue() const;
    // Applies a stored value to the current commands (Load's overlay step).
    void ApplyKeyboardValue(const std::string& bytes);
    void ApplyKeyboardArray(const std::vector<std::uint32_t>& values);

    // The destructor's write: only with auto-save on, a path, and an
    // existing key. A failed write is reported. Clears auto-save.
    void WriteOnExit();

    const std::map<std::uint16_t, CAccelCommandOb>& Commands() const { return m_commands; }
    CAccelCommandOb* FindCommand(std::uint16_t id);
    std::optional<std::uint16_t> FindId(const std::string& name) const;
    const std::string& Path() const { return m_path; }
    bool DefaultSaved() const { return m_defaultSaved; }
    std::vector<AccelEntry> BuildTable() const;

    // ---- the editor's operations
    // The command that holds the keystroke (key and Ctrl, Alt, Shift), if any.
    std::optional<std::uint16_t> FindKeystroke(std::uint16_t key, bool ctrl, bool alt,
                                               bool shift) const;
    enum class AssignResult { Assigned, NoCommand, UnnamedKey, Duplicate };
    // Appends an unlocked keystroke to the command. A key without a name in
    // the key-name table is refused, and so is a keystroke that any command
    // already holds (its id goes to holder).
    AssignResult AssignKeystroke(std::uint16_t id, std::uint16_t key, bool ctrl, bool alt,
                                 bool shift, std::uint16_t* holder = nullptr);
    enum class RemoveResult { Removed, NoCommand, NotFound, Locked };
    RemoveResult RemoveKeystroke(std::uint16_t id, const CAccelsOb& keystroke);

private:
    IAcceleratorTarget* m_frame = nullptr;
    IRegistryStore* m_store = nullptr;
    std::map<std::string, std::uint16_t> m_names;
    std::map<std::uint16_t, CAccelCommandOb> m_commands;
    std::map<std::uint16_t, CAccelCommandOb> m_defaults;
    bool m_defaultSaved = false;
    std::string m_path;
    bool m_autoSave = false;
};

// The editor's duplicate text for a keystroke shown as `shown` held by the
// command named `holder`.
std::string AlreadyMappedText(const std::string& shown, const std::string& holder);
// The key text the capture edit shows: "Ctrl", "Alt", "Shift" and the key's
// name, joined by "+".
std::string KeystrokeText(std::uint16_t key, bool ctrl, bool alt, bool shift);
// Deletes the key of the saved keystrokes below its parent; nothing with an
// empty path.
void WipeSavedAccelerators(IRegistryStore& store, const std::string& path);

// The registry value name and the key path of the user's keystrokes.
constexpr const char* kKeyboardValueName = "Keyboard";
std::string UserAcceleratorPath(const std::string& registryKey, const std::string& profileName);

// The start-up steps: the 55 keyed rows, the 21 unkeyed rows, the table,
// the default copy.
void InstallAccelerators(CAcceleratorManager& manager);
// Loads the user's keys from "Software\<key>\<profile>\Settings". On failure
// shows "Loading User accelerators failed !!" and returns an empty path.
std::string LoadUserAccelerators(CAcceleratorManager& manager, const std::string& registryKey,
                                 const std::string& profileName);

#include "settings/AcceleratorManager.h"

#include <algorithm>

#include "platform/Prompter.h"
#include "settings/RegistryHelper.h"

namespace {

struct KeyName {
    std::uint16_t code;
    const char* name;
};

const std::vector<KeyName>& KeyNames() {
    static const std::vector<KeyName> table = [] {
        std::vector<KeyName> t = {
            {0x01, "VK_LBUTTON"}, {0x02, "VK_RBUTTON"}, {0x03, "VK_CANCEL"}, {0x04, "VK_MBUTTON"},
            {0x08, "BACK"},       {0x09, "TAB"},        {0x0C, "VK_CLEAR"},  {0x0D, "RETURN"},
            {0x10, "SHIFT"},      {0x11, "CONTROL"},    {0x12, "MENU"},      {0x13, "PAUSE"},
            {0x14, "CAPITAL"},    {0x1B, "ESCAPE"},     {0x20, "SPACE"},     {0x21, "PRIOR"},
            {0x22, "NEXT"},       {0x23, "END"},        {0x24, "HOME"},      {0x25, "LEFT"},
            {0x26, "UP"},         {0x27, "RIGHT"},      {0x28, "DOWN"},      {0x29, "VK_SELECT"},
            {0x2A, "PRINT"},      {0x2B, "EXECUTE"},    {0x2C, "SNAPSHOT"},  {0x2D, "INSERT"},
            {0x2E, "DELETE"},     {0x2F, "VK_HELP"},
        };
        static const char* digits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
        for (int i = 0; i < 10; ++i) t.push_back({std::uint16_t(0x30 + i), digits[i]});
        static const char* letters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                        "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                        "S", "T", "U", "V", "W", "X", "Y", "Z"};
        for (int i = 0; i < 26; ++i) t.push_back({std::uint16_t(0x41 + i), letters[i]});
        t.push_back({0x5B, "VK_LWIN"});
        t.push_back({0x5C, "VK_RWIN"});
        t.push_back({0x5D, "VK_APPS"});
        static const char* pads[] = {"NUMPAD0", "NUMPAD1", "NUMPAD2", "NUMPAD3", "NUMPAD4",
                                     "NUMPAD5", "NUMPAD6", "NUMPAD7", "NUMPAD8", "NUMPAD9"};
        for (int i = 0; i < 10; ++i) t.push_back({std::uint16_t(0x60 + i), pads[i]});
        t.push_back({0x6A, "MULTIPLY"});
        t.push_back({0x6B, "ADD"});
        t.push_back({0x6C, "SEPARATOR"});
        t.push_back({0x6D, "SUBTRACT"});
        t.push_back({0x6E, "DECIMAL"});
        t.push_back({0x6F, "DIVIDE"});
        static const char* fkeys[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                      "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                      "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
        for (int i = 0; i < 24; ++i) t.push_back({std::uint16_t(0x70 + i), fkeys[i]});
        t.push_back({0x90, "NUMLOCK"});
        t.push_back({0x91, "VK_SCROLL"});
        const KeyName tail[] = {{0xF6, "VK_ATTN"},  {0xF7, "VK_CRSEL"},  {0xF8, "VK_EXSEL"},
                                {0xF9, "VK_EREOF"}, {0xFA, "VK_PLAY"},   {0xFB, "VK_ZOOM"},
                                {0xFC, "VK_NONAME"}, {0xFD, "VK_PA1"}, {0xFE, "VK_OEM_CLEAR"}};
        for (const auto& k : tail) t.push_back(k);
        return t;
    }();
    return table;
}

void PutU16(std::string& out, std::uint32_t v) {
    out.push_back(char(v & 0xFF));
    out.push_back(char((v >> 8) & 0xFF));
}
void PutU32(std::string& out, std::uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}
std::uint32_t GetU(const std::string& in, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | std::uint8_t(in[at + std::size_t(i)]);
    return v;
}

}  // namespace

std::uint32_t CAccelsOb::Pack() const {
    return std::uint32_t(m_wKey) | (std::uint32_t(fVirt) << 16) |
           (std::uint32_t(locked ? 1 : 2) << 24);
}

CAccelsOb CAccelsOb::Unpack(std::uint32_t packed) {
    CAccelsOb a;
    a.m_wKey = std::uint16_t(packed & 0xFFFF);
    a.fVirt = std::uint8_t((packed >> 16) & 0xFF);
    a.locked = ((packed >> 24) & 0xFF) == 1;
    return a;
}

std::optional<std::string> GetKeyName(std::uint16_t key) {
    for (const auto& k : KeyNames())
        if (k.code == key) return std::string(k.name);
    return std::nullopt;
}

std::string CAccelsOb::GetString() const {
    std::string text;
    if (m_wKey == 0) return text;
    if (fVirt & kKeyControl) text += "Ctrl+";
    if (fVirt & kKeyAlt) text += "Alt+";
    if (fVirt & kKeyShift) text += "Shift+";
    auto name = GetKeyName(m_wKey);
    if (!name) {
        Prompter().Message("Internal error : (CAccelsOb::GetString) m_wKey invalid", MsgIcon::Stop);
        return text;
    }
    return text + *name;
}

bool CAccelsOb::IsEqual(std::uint16_t key, bool ctrl, bool alt, bool shift) const {
    return m_wKey == key && bool(fVirt & kKeyControl) == ctrl && bool(fVirt & kKeyAlt) == alt &&
           bool(fVirt & kKeyShift) == shift;
}

bool CAccelCommandOb::HasUnlocked() const {
    return std::any_of(keys.begin(), keys.end(), [](const CAccelsOb& a) { return !a.locked; });
}

void CAccelCommandOb::RemoveUnlocked() {
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const CAccelsOb& a) { return !a.locked; }),
               keys.end());
}

std::string SerializeDWordArray(const std::vector<std::uint32_t>& values) {
    std::string out;
    if (values.size() < 0xFFFF) {
        PutU16(out, std::uint32_t(values.size()));
    } else {
        PutU16(out, 0xFFFF);
        PutU32(out, std::uint32_t(values.size()));
    }
    for (auto v : values) PutU32(out, v);
    return out;
}

bool DeserializeDWordArray(const std::string& bytes, std::vector<std::uint32_t>& values) {
    values.clear();
    if (bytes.size() < 2) return bytes.empty();
    std::size_t at = 2;
    std::uint32_t count = GetU(bytes, 0, 2);
    if (count == 0xFFFF) {
        if (bytes.size() < 6) return false;
        count = GetU(bytes, 2, 4);
        at = 6;
    }
    for (std::uint32_t i = 0; i < count; ++i, at += 4) {
        if (at + 4 > bytes.size()) return false;
        values.push_back(GetU(bytes, at, 4));
    }
    return true;
}

CAcceleratorManager::~CAcceleratorManager() { WriteOnExit(); }

CAcceleratorManager& CAcceleratorManager::operator=(const CAcceleratorManager& other) {
    if (this == &other) return *this;
    m_commands = other.m_commands;
    m_defaults = other.m_defaults;
    m_names = other.m_names;
    m_defaultSaved = other.m_defaultSaved;
    return *this;
}

void CAcceleratorManager::Connect(IAcceleratorTarget* frame, bool autoSave) {
    m_frame = frame;
    m_autoSave = autoSave;
}

bool CAcceleratorManager::SetAccel(std::uint8_t fVirt, std::uint16_t id, std::uint16_t key,
                                   const std::string& name, bool locked) {
    auto n = m_names.find(name);
    if (n != m_names.end() && n->second != id) return false;
    auto it = m_commands.find(id);
    if (it == m_commands.end()) {
        CAccelCommandOb cmd;
        cmd.id = id;
        cmd.name = name;
        cmd.keys.push_back({fVirt, key, locked});
        m_commands.emplace(id, std::move(cmd));
        m_names[name] = id;
        return true;
    }
    CAccelCommandOb& cmd = it->second;
    if (cmd.name != name) return false;
    for (const auto& k : cmd.keys)
        if (k.fVirt == fVirt && k.m_wKey == key) return false;
    cmd.keys.push_back({fVirt, key, locked});
    m_names[name] = id;
    return true;
}

bool CAcceleratorManager::AddDefaultAccel(const CommandKeyEntry& row) {
    return SetAccel(row.keyFlags, row.commandId, row.key, row.text, row.locked);
}

void CAcceleratorManager::CreateEntry(std::uint16_t id, const std::string& name) {
    if (m_names.count(name)) return;
    CAccelCommandOb cmd;
    cmd.id = id;
    cmd.name = name;
    m_commands[id] = std::move(cmd);
    m_names[name] = id;
}

void CAcceleratorManager::AddCommand(const CommandKeyEntry& row) { CreateEntry(row.commandId, row.text); }

std::vector<AccelEntry> CAcceleratorManager::BuildTable() const {
    std::vector<AccelEntry> table;
    for (const auto& [id, cmd] : m_commands)
        for (const auto& k : cmd.keys) table.push_back({k.fVirt, k.m_wKey, id});
    return table;
}

bool CAcceleratorManager::CreateAcceleratorTable() {
    std::vector<AccelEntry> table = BuildTable();
    if (table.empty() || !m_frame) return false;
    return m_frame->SetAcceleratorTable(table);
}

bool CAcceleratorManager::SaveDefaultTable() {
    if (m_defaultSaved) return false;
    for (const auto& [id, cmd] : m_commands) {
        CAccelCommandOb copy;
        for (const auto& k : cmd.keys)
            if (!k.locked) copy.keys.push_back(k);
        m_defaults[id] = std::move(copy);
    }
    m_defaultSaved = true;
    return true;
}

void CAcceleratorManager::RestoreDefaultTable() {
    if (m_defaults.empty()) {
        for (auto& [id, cmd] : m_commands) cmd.RemoveUnlocked();
        return;
    }
    for (const auto& [id, def] : m_defaults) {
        auto it = m_commands.find(id);
        if (it == m_commands.end()) continue;
        it->second.RemoveUnlocked();
        for (const auto& k : def.keys) it->second.keys.push_back(k);
    }
}

CAccelCommandOb* CAcceleratorManager::FindCommand(std::uint16_t id) {
    auto it = m_commands.find(id);
    return it == m_commands.end() ? nullptr : &it->second;
}

std::optional<std::uint16_t> CAcceleratorManager::FindId(const std::string& name) const {
    auto it = m_names.find(name);
    if (it == m_names.end()) return std::nullopt;
    return it->second;
}

void CAcceleratorManager::ApplyKeyboardValue(const std::string& bytes) {
    std::vector<std::uint32_t> v;
    DeserializeDWordArray(bytes, v);  // a short value applies its complete groups
    ApplyKeyboardArray(v);
}

void CAcceleratorManager::ApplyKeyboardArray(const std::vector<std::uint32_t>& v) {
    if (v.empty() || (v[0] & 0xFFFF) != 0xFFFF || (v[0] >> 16) == 0) return;
    const std::uint32_t groups = v[0] >> 16;
    std::size_t at = 1;
    for (std::uint32_t g = 0; g < groups && at < v.size(); ++g) {
        const std::uint16_t id = std::uint16_t(v[at] & 0xFFFF);
        const std::uint32_t n = v[at] >> 16;
        ++at;
        if (at + n > v.size()) break;  // an incomplete group is not applied
        if (CAccelCommandOb* cmd = FindCommand(id)) {
            cmd->RemoveUnlocked();
            for (std::uint32_t i = 0; i < n; ++i) {
                CAccelsOb k = CAccelsOb::Unpack(v[at + i]);
                // A stored key without a name is skipped. A keystroke runs one
                // command only: the user's choice takes it from another
                // command's default keys; a locked key or a repeat stays out.
                if (k.m_wKey == 0 || !GetKeyName(k.m_wKey)) continue;
                const bool ctrl = k.fVirt & kKeyControl, alt = k.fVirt & kKeyAlt,
                           shift = k.fVirt & kKeyShift;
                if (auto holder = FindKeystroke(k.m_wKey, ctrl, alt, shift)) {
                    if (*holder == id) continue;
                    auto& other = m_commands[*holder].keys;
                    auto it = std::find_if(other.begin(), other.end(), [&](const CAccelsOb& o) {
                        return o.IsEqual(k.m_wKey, ctrl, alt, shift);
                    });
                    if (it->locked) continue;
                    other.erase(it);
                }
                cmd->keys.push_back(k);
            }
        }
        at += n;
    }
}

bool CAcceleratorManager::Load(const std::string& path) {
    m_path = path;
    CRegistryHelper reg(m_store);
    if (!reg.Open(path) || !reg.ValueExists(kKeyboardValueName)) return true;
    std::vector<std::uint32_t> v;
    if (!reg.ReadDWordArray(kKeyboardValueName, v)) return false;
    ApplyKeyboardArray(v);
    CreateAcceleratorTable();
    return true;
}

bool CAcceleratorManager::HadDefaultKeys(std::uint16_t id) const {
    auto it = m_defaults.find(id);
    if (it == m_defaults.end()) return false;
    for (const auto& k : it->second.keys)
        if (!k.locked) return true;
    return false;
}

std::vector<std::uint32_t> CAcceleratorManager::BuildKeyboardArray() const {
    std::vector<std::uint32_t> v;
    std::uint32_t count = 0;
    v.push_back(0);
    for (const auto& [id, cmd] : m_commands) {
        std::vector<std::uint32_t> keys;
        for (const auto& k : cmd.keys)
            if (!k.locked) keys.push_back(k.Pack());
        // A command whose default keys the user took away is written with
        // no keys, so that the next start does not give them back.
        if (keys.empty() && !HadDefaultKeys(id)) continue;
        ++count;
        v.push_back((std::uint32_t(keys.size()) << 16) | id);
        v.insert(v.end(), keys.begin(), keys.end());
    }
    v[0] = (count << 16) | 0xFFFF;
    return v;
}

std::string CAcceleratorManager::BuildKeyboardValue() const { return SerializeDWordArray(BuildKeyboardArray()); }

bool CAcceleratorManager::Write() {
    CRegistryHelper reg(m_store);
    return reg.Open(m_path) && reg.WriteObject(kKeyboardValueName, BuildKeyboardArray());
}

void CAcceleratorManager::WriteOnExit() {
    CRegistryHelper reg(m_store);
    const bool due = m_autoSave && !m_path.empty() && reg.Open(m_path);
    m_autoSave = false;
    if (due && !Write())
        Prompter().Message(
            "CAcceleratorManager::~CAcceleratorManager\nError in CAcceleratorManager::Write...",
            MsgIcon::Stop);
}

std::string UserAcceleratorPath(const std::string& registryKey, const std::string& profileName) {
    return "Software\\" + registryKey + "\\" + profileName + "\\" + "Settings";
}

void InstallAccelerators(CAcceleratorManager& manager) {
    for (const auto& row : g_KeyedCommands) manager.AddDefaultAccel(row);
    for (const auto& row : g_UnkeyedCommands) manager.AddCommand(row);
    manager.CreateAcceleratorTable();
    manager.SaveDefaultTable();
}

std::string LoadUserAccelerators(CAcceleratorManager& manager, const std::string& registryKey,
                                 const std::string& profileName) {
    const std::string path = UserAcceleratorPath(registryKey, profileName);
    if (!manager.Load(path)) {
        Prompter().Message("Loading User accelerators failed !!", MsgIcon::Stop);
        return std::string();
    }
    return path;
}

std::optional<std::uint16_t> CAcceleratorManager::FindKeystroke(std::uint16_t key, bool ctrl,
                                                                bool alt, bool shift) const {
    for (const auto& [id, cmd] : m_commands)
        for (const auto& k : cmd.keys)
            if (k.IsEqual(key, ctrl, alt, shift)) return id;
    return std::nullopt;
}

CAcceleratorManager::AssignResult CAcceleratorManager::AssignKeystroke(std::uint16_t id,
                                                                       std::uint16_t key, bool ctrl,
                                                                       bool alt, bool shift,
                                                                       std::uint16_t* holder) {
    if (key == 0 || !GetKeyName(key)) return AssignResult::UnnamedKey;
    if (auto other = FindKeystroke(key, ctrl, alt, shift)) {
        if (holder) *holder = *other;
        return AssignResult::Duplicate;
    }
    CAccelCommandOb* cmd = FindCommand(id);
    if (!cmd) return AssignResult::NoCommand;
    CAccelsOb a;
    a.fVirt = std::uint8_t(kKeyVirt | (ctrl ? kKeyControl : 0) | (alt ? kKeyAlt : 0) |
                           (shift ? kKeyShift : 0));
    a.m_wKey = key;
    a.locked = false;
    cmd->keys.push_back(a);
    return AssignResult::Assigned;
}

CAcceleratorManager::RemoveResult CAcceleratorManager::RemoveKeystroke(std::uint16_t id,
                                                                       const CAccelsOb& keystroke) {
    CAccelCommandOb* cmd = FindCommand(id);
    if (!cmd) return RemoveResult::NoCommand;
    for (auto it = cmd->keys.begin(); it != cmd->keys.end(); ++it) {
        if (it->fVirt != keystroke.fVirt || it->m_wKey != keystroke.m_wKey) continue;
        if (it->locked) return RemoveResult::Locked;
        cmd->keys.erase(it);
        return RemoveResult::Removed;
    }
    return RemoveResult::NotFound;
}

std::string AlreadyMappedText(const std::string& shown, const std::string& holder) {
    return "Keystroke \"" + shown + "\" is already mapped to:\r\n   " + holder + "\r\n\r\n" +
           "If you really want to use this keystroke, you need to remove it from above mapping.";
}

std::string KeystrokeText(std::uint16_t key, bool ctrl, bool alt, bool shift) {
    std::string text;
    auto add = [&](const std::string& part) {
        if (!text.empty()) text += "+";
        text += part;
    };
    if (ctrl) add("Ctrl");
    if (alt) add("Alt");
    if (shift) add("Shift");
    if (key != 0)
        if (auto name = GetKeyName(key)) add(*name);
    return text;
}

void WipeSavedAccelerators(IRegistryStore& store, const std::string& path) {
    if (path.empty()) return;
    const auto cut = path.rfind('\\');
    const std::string parent = cut == std::string::npos ? std::string() : path.substr(0, cut);
    if (!parent.empty()) store.CreateKey(parent);
    store.DeleteKey(path);
}

// The registry access object of the keyboard settings: one open key at a
// time, binary values holding serialized arrays of 32-bit values. It works on
// a registry store (QSettings on the window road, a map in tests) and records
// the result, type and size of its last call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IRegistryStore;

class CRegistryHelper {
public:
    // Result codes of the last call.
    static constexpr int kSuccess = 0;
    static constexpr int kFileNotFound = 2;    // no such key or value
    static constexpr int kInvalidHandle = 6;   // no key is open
    static constexpr int kMoreData = 234;      // the value is larger than a read takes
    static constexpr int kReadFault = 1006;    // the store could not be read
    static constexpr int kWriteFault = 1013;   // the store could not be written
    // Value types.
    static constexpr int kNone = 0;
    static constexpr int kBinary = 3;
    // The largest value a read takes.
    static constexpr std::size_t kMaxValueSize = 65536;

    explicit CRegistryHelper(IRegistryStore* store) : m_store(store) {}
    virtual ~CRegistryHelper() { Close(); }
    CRegistryHelper(const CRegistryHelper&) = delete;
    CRegistryHelper& operator=(const CRegistryHelper&) = delete;

    // Opens the key below the user's root; false when it does not exist.
    bool Open(const std::string& path);
    // True when the value can be read below the open key; a value whose read
    // fails counts as present, so that the read reports the failure.
    bool ValueExists(const std::string& name);
    void Close();
    // Writes the array, serialized (a 16-bit count, or 0xFFFF and a 32-bit
    // count, then the elements, all little-endian), as a binary value.
    bool WriteObject(const std::string& name, const std::vector<std::uint32_t>& array);
    // Reads a binary value into the array. A value of another type leaves the
    // array as it was and still succeeds; a missing value, a failed read or a
    // value over 65536 bytes fails.
    bool ReadDWordArray(const std::string& name, std::vector<std::uint32_t>& array);

    int LastResult() const { return m_lastResult; }
    int LastType() const { return m_lastType; }
    std::size_t LastSize() const { return m_lastSize; }
    bool IsOpen() const { return m_open; }
    const std::string& Path() const { return m_path; }

private:
    IRegistryStore* m_store;
    int m_lastResult = kSuccess;
    int m_lastType = kNone;
    std::size_t m_lastSize = 0;
    bool m_open = false;
    std::string m_path;
};

// A registry store in memory for the settings tests: keys by path, binary
// values by name, with switches that make reads or writes fail.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "settings/AcceleratorManager.h"

class MemoryStore : public IRegistryStore {
public:
    std::map<std::string, std::map<std::string, std::string>> keys;
    bool failRead = false;
    bool failWrite = false;

    bool KeyExists(const std::string& path) override { return keys.count(path) > 0; }
    bool CreateKey(const std::string& path) override {
        keys[path];
        return true;
    }
    bool DeleteKey(const std::string& path) override { return keys.erase(path) > 0; }
    std::optional<std::string> ReadBinary(const std::string& path, const std::string& name,
                                          bool& ok) override {
        ok = !failRead;
        auto k = keys.find(path);
        if (k == keys.end()) return std::nullopt;
        auto v = k->second.find(name);
        if (v == k->second.end()) return std::nullopt;
        return v->second;
    }
    bool WriteBinary(const std::string& path, const std::string& name,
                     const std::string& bytes) override {
        if (failWrite || !keys.count(path)) return false;
        keys[path][name] = bytes;
        return true;
    }
};

// The registry on QSettings: a key path "Software\<organisation>\<application>\<group...>"
// names the group of the program's settings file; binary values are QByteArrays.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <vector>

#include "settings/AcceleratorManager.h"

class CQtRegistryStore : public IRegistryStore {
public:
    bool KeyExists(const std::string& path) override;
    // INI files keep no empty groups, so a created key that holds no value yet
    // is remembered for the rest of the run.
    bool CreateKey(const std::string& path) override;
    bool DeleteKey(const std::string& path) override;
    std::optional<std::string> ReadBinary(const std::string& path, const std::string& name,
                                          bool& ok) override;
    bool WriteBinary(const std::string& path, const std::string& name,
                     const std::string& bytes) override;

private:
    std::set<std::string> m_created;
};

// The settings files QSettings reads for the program in the user's scope
// (the application's file, then the organisation's), found without opening
// them.
std::vector<std::string> UserSettingsFiles(const QString& organisation, const QString& application);

// The first of those files that exists and is not a regular file (a named
// pipe there would block the start, a device never end); "" when none.
std::string FindIrregularSettingsFile(const QString& organisation, const QString& application);

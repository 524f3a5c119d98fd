#include "settings/ui/QtRegistryStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <memory>

#include <sys/stat.h>

namespace {
struct Location {
    QString organisation, application, group;
    bool valid = false;
};

Location Parse(const std::string& path) {
    Location loc;
    const QStringList parts = QString::fromStdString(path).split('\\', Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts[0] != "Software") return loc;
    loc.organisation = parts[1];
    loc.application = parts[2];
    loc.group = parts.mid(3).join('/');
    loc.valid = true;
    return loc;
}

std::unique_ptr<QSettings> Open(const Location& loc) {
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, loc.organisation,
                                       loc.application);
}
}  // namespace

bool CQtRegistryStore::KeyExists(const std::string& path) {
    Location loc = Parse(path);
    if (!loc.valid) return false;
    if (m_created.count(path)) return true;
    auto s = Open(loc);
    if (loc.group.isEmpty()) return !s->allKeys().isEmpty();
    s->beginGroup(loc.group);
    return !s->childKeys().isEmpty() || !s->childGroups().isEmpty();
}

bool CQtRegistryStore::CreateKey(const std::string& path) {
    if (!Parse(path).valid) return false;
    m_created.insert(path);
    return true;
}

bool CQtRegistryStore::DeleteKey(const std::string& path) {
    Location loc = Parse(path);
    if (!loc.valid) return false;
    const bool existed = KeyExists(path);
    m_created.erase(path);
    auto s = Open(loc);
    if (loc.group.isEmpty())
        s->clear();
    else
        s->remove(loc.group);
    s->sync();
    return existed;
}

std::optional<std::string> CQtRegistryStore::ReadBinary(const std::string& path,
                                                        const std::string& name, bool& ok) {
    ok = true;
    Location loc = Parse(path);
    if (!loc.valid) return std::nullopt;
    auto s = Open(loc);
    if (s->status() != QSettings::NoError) {
        ok = false;
        return std::nullopt;
    }
    const QString key = loc.group.isEmpty() ? QString::fromStdString(name)
                                            : loc.group + "/" + QString::fromStdString(name);
    if (!s->contains(key)) return std::nullopt;
    QVariant v = s->value(key);
    if (v.typeId() != QMetaType::QByteArray) return std::string();  // another type: empty
    QByteArray b = v.toByteArray();
    return std::string(b.constData(), std::size_t(b.size()));
}

bool CQtRegistryStore::WriteBinary(const std::string& path, const std::string& name,
                                   const std::string& bytes) {
    Location loc = Parse(path);
    if (!loc.valid) return false;
    auto s = Open(loc);
    const QString key = loc.group.isEmpty() ? QString::fromStdString(name)
                                            : loc.group + "/" + QString::fromStdString(name);
    s->setValue(key, QByteArray(bytes.data(), qsizetype(bytes.size())));
    s->sync();
    return s->status() == QSettings::NoError;
}

std::vector<std::string> UserSettingsFiles(const QString& organisation, const QString& application) {
    // Names no file has: QSettings tells where the user's settings live
    // without opening the program's own files.
    const QSettings probe(QSettings::IniFormat, QSettings::UserScope, "qvl-probe-unused", "qvl-probe-unused");
    const QString base = QFileInfo(probe.fileName()).dir().absolutePath() + "/..";
    return {QDir::cleanPath(base + "/" + organisation + "/" + application + ".ini").toStdString(),
            QDir::cleanPath(base + "/" + organisation + ".ini").toStdString()};
}

std::string FindIrregularSettingsFile(const QString& organisation, const QString& application) {
    for (const std::string& file : UserSettingsFiles(organisation, application)) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return file;
    }
    return std::string();
}

#include "settings/RegistryHelper.h"

#include "settings/AcceleratorManager.h"

bool CRegistryHelper::Open(const std::string& path) {
    Close();
    m_path = path;
    if (!m_store) {
        m_lastResult = kInvalidHandle;
        return false;
    }
    if (!m_store->KeyExists(path)) {
        m_lastResult = kFileNotFound;
        return false;
    }
    m_open = true;
    m_lastResult = kSuccess;
    return true;
}

void CRegistryHelper::Close() { m_open = false; }

bool CRegistryHelper::ValueExists(const std::string& name) {
    if (!m_open) {
        m_lastResult = kInvalidHandle;
        return false;
    }
    bool ok = true;
    const auto bytes = m_store->ReadBinary(m_path, name, ok);
    if (!ok) {
        m_lastResult = kReadFault;
        return true;
    }
    m_lastResult = bytes ? kSuccess : kFileNotFound;
    return bytes.has_value();
}

bool CRegistryHelper::WriteObject(const std::string& name, const std::vector<std::uint32_t>& array) {
    if (!m_open) {
        m_lastResult = kInvalidHandle;
        return false;
    }
    const std::string bytes = SerializeDWordArray(array);
    const bool written = m_store->WriteBinary(m_path, name, bytes);
    m_lastResult = written ? kSuccess : kWriteFault;
    m_lastType = kBinary;
    m_lastSize = bytes.size();
    return written;
}

bool CRegistryHelper::ReadDWordArray(const std::string& name, std::vector<std::uint32_t>& array) {
    if (!m_open) {
        m_lastResult = kInvalidHandle;
        return false;
    }
    bool ok = true;
    const auto bytes = m_store->ReadBinary(m_path, name, ok);
    if (!ok || !bytes) {
        m_lastResult = ok ? kFileNotFound : kReadFault;
        return false;
    }
    m_lastSize = bytes->size();
    if (bytes->size() > kMaxValueSize) {
        m_lastResult = kMoreData;
        return false;
    }
    m_lastResult = kSuccess;
    m_lastType = kBinary;
    // A value cut short gives the elements that are complete.
    DeserializeDWordArray(*bytes, array);
    return true;
}

#include "app/FileSettingsStore.h"

#include "settings/ConfigIni.h"
#include "settings/SettingsFiles.h"

namespace qv {

FileSettingsStore::FileSettingsStore(std::string appDataDir)
    : m_appDataDir(std::move(appDataDir)), m_configPath(m_appDataDir + kConfigFileName) {}

bool FileSettingsStore::load(HapticSettings& settings) {
    std::string error;
    const bool ok = loadConfigWithBackup(settings, m_configPath, m_appDataDir, &error);
    setLastError(error);
    return ok;
}

bool FileSettingsStore::saveAll(const HapticSettings& settings) {
    std::string error;
    const bool ok = saveAllSettings(settings, m_configPath, m_appDataDir, &error);
    setLastError(error);
    return ok;
}

std::string FileSettingsStore::lastError() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

void FileSettingsStore::setLastError(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = text;
}

}  // namespace qv

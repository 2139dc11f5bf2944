#pragma once
// The settings store of the program: "haptic_config.ini" and the profile
// tree in the application data folder.
//
// load() runs once on the main thread at start-up; saveAll() on the saver
// thread and once more on the main thread at shutdown, never two at a time.
// lastError() may be read from either.

#include "app/AppServices.h"

#include <mutex>
#include <string>

namespace qv {

class FileSettingsStore final : public ISettingsStore {
public:
    // `appDataDir` ends in "/".
    explicit FileSettingsStore(std::string appDataDir);

    bool load(HapticSettings& settings) override;
    bool saveAll(const HapticSettings& settings) override;
    std::string lastError() const override;

    const std::string& configPath() const { return m_configPath; }
    const std::string& appDataDir() const { return m_appDataDir; }

private:
    void setLastError(const std::string& text);

    std::string m_appDataDir;
    std::string m_configPath;
    mutable std::mutex m_mutex;
    std::string m_lastError;
};

}  // namespace qv

#pragma once
// The online services as the run loop sees them: the update check at
// start-up and the usage reports, over the backend configuration of
// BackendConfig.h. Constructed on the main thread before the runtime starts;
// it publishes the configuration for the catalogue (setBackendConfig) and,
// when a backend is configured, loads or creates the installation identity.
//
// With nothing configured nothing is sent and no worker starts; one console
// line says which features are off and why.

#include "app/AppServices.h"
#include "app/BackendConfig.h"

#include <string>
#include <vector>

namespace qv {

class OnlineServices : public IOnlineServices {
public:
    // config as validated by validateBackendConfig, with its problems (each
    // printed once by startUpdateCheck). appDataDir ends in "/".
    OnlineServices(BackendConfig config, std::vector<std::string> problems, std::string appDataDir);

    void startUpdateCheck() override;
    void sendUsagePing(const char* simName, const char* event) override;

    // Waits up to timeoutMs for the update check and reports still running.
    bool waitIdle(int timeoutMs);

    // The line printed at start-up about what is off; empty when all is on.
    const std::string& statusLine() const { return m_statusLine; }
    bool usageReportsOn() const { return m_usageReportsOn; }

private:
    BackendConfig m_config;
    std::vector<std::string> m_problems;
    std::string m_statusLine;
    bool m_usageReportsOn = false;
    bool m_reported = false;
};

}  // namespace qv

#include "app/OnlineServices.h"

#include "app/InstallationId.h"
#include "app/OnlineWorkers.h"
#include "app/UpdateCheck.h"
#include "app/UsageReport.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"

namespace qv {

OnlineServices::OnlineServices(BackendConfig config, std::vector<std::string> problems, std::string appDataDir)
    : m_config(std::move(config)), m_problems(std::move(problems)) {
    setBackendConfig(m_config);
    if (m_config.hasBackend()) {
        std::string id, error;
        if (loadOrCreateInstallationId(appDataDir, id, error)) {
            setUsagePingIdentity(id, m_config.usageToken);
            m_usageReportsOn = true;
        } else {
            setUsagePingIdentity("", "");
            m_problems.push_back("No installation identity (" + error + "): usage reports are off.");
        }
    } else {
        setUsagePingIdentity("", "");
    }

    if (!m_config.hasUpdateServer() && !m_config.hasBackend())
        m_statusLine = "No server is configured: the update check, usage reports and the community catalogue are off.";
    else if (!m_config.hasBackend())
        m_statusLine = "No backend server is configured: usage reports and the community catalogue are off.";
    else if (!m_config.hasUpdateServer())
        m_statusLine = "No update server is configured: the update check is off.";
}

void OnlineServices::startUpdateCheck() {
    if (!m_reported) {
        m_reported = true;
        // The problems quote values from the environment.
        for (const std::string& problem : m_problems)
            outPrint("  [Online] %s\n", printableText(problem).c_str());
        if (!m_statusLine.empty())
            outPrint("  [Online] %s\n", m_statusLine.c_str());
    }
    if (m_config.hasUpdateServer())
        startUpdateCheckWorker(m_config.updateUrl, m_config.caFile);
}

void OnlineServices::sendUsagePing(const char* simName, const char* event) {
    if (m_usageReportsOn)
        qv::sendUsagePing(simName, event);
}

bool OnlineServices::waitIdle(int timeoutMs) { return onlineWorkers().waitIdle(timeoutMs); }

}  // namespace qv

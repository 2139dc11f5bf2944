#include "app/UsageReport.h"

#include "app/OnlineWorkers.h"
#include "app/Version.h"
#include "platform/Output.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <system_error>
#include <thread>

namespace qv {

std::string gPingMachineId;
std::string gPingToken;

void setUsagePingIdentity(const std::string& machineId, const std::string& token) {
    gPingMachineId = machineId;
    gPingToken = token;
}

std::string usagePingBody(const UsagePing& ping) {
    nlohmann::ordered_json body;
    body["machine_id"] = ping.machineId;
    body["token"] = ping.token;
    body["version"] = ping.version;
    body["sim"] = ping.sim;
    body["event"] = ping.event;
    return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

HttpResult postUsagePing(const UsagePing& ping, const BackendConfig& config, IHttpsTransport& transport) {
    BackendClient client(config, transport);
    client.setUserAgent(kUsageReportUserAgent);
    client.setTimeouts(kUsageReportTimeoutMs, kUsageReportTotalTimeoutMs, kUsageReportTimeoutMs);
    client.setMaxReplyBytes(kUsageReportMaxReplyBytes);
    return client.post("/ping", usagePingBody(ping));
}

void usagePingThread(UsagePing* record, BackendConfig config) {
    std::unique_ptr<UsagePing> owned(record);
    postUsagePing(*owned, config);
    owned.reset();
    onlineWorkers().end();
}

bool sendUsagePing(const char* sim, const char* event) {
    if (gPingMachineId.empty() || !backendConfig().hasBackend())
        return false;
    auto record = std::make_unique<UsagePing>(
        UsagePing{gPingMachineId, gPingToken, kVersionText, sim ? sim : "", event ? event : ""});
    onlineWorkers().begin();
    try {
        std::thread(usagePingThread, record.get(), backendConfig()).detach();
        record.release();  // the worker owns it now
        return true;
    } catch (const std::system_error& e) {
        onlineWorkers().end();
        errPrint("  [UsageReport] ERROR: could not start a usage report: %s\n", e.what());
        return false;
    }
}

}  // namespace qv

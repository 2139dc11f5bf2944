#pragma once
// The usage report: one fire-and-forget HTTPS POST to the backend's "/ping"
// function per event ("launch" at start-up, "sim_connect" after every
// connection), each on its own detached worker with its own copies of the
// values. Nothing waits for a report and its reply is not looked at.
//
// The installation identity (gPingMachineId, a random identifier kept in the
// application data folder) and the token are set before the first report and
// only read afterwards; while the identifier is empty, or no backend is
// configured, no report is sent and no worker started.

#include "app/BackendClient.h"

#include <string>

namespace qv {

inline constexpr const char* kUsageReportUserAgent = "QuorVane-Telemetry/1.0";
inline constexpr int kUsageReportTimeoutMs = 5000;
inline constexpr int kUsageReportTotalTimeoutMs = 20000;
inline constexpr size_t kUsageReportMaxReplyBytes = 64u << 10;

extern std::string gPingMachineId;  // sent as "machine_id"; empty = reports off
extern std::string gPingToken;      // sent as "token"

// Called on the main thread before the first report.
void setUsagePingIdentity(const std::string& machineId, const std::string& token);

struct UsagePing {
    std::string machineId;
    std::string token;
    std::string version;
    std::string sim;
    std::string event;
};

// {"machine_id":…,"token":…,"version":…,"sim":…,"event":…}: compact, in this
// member order, every value a properly escaped JSON string (bytes that are
// not UTF-8 become U+FFFD).
std::string usagePingBody(const UsagePing& ping);

// Sends the report through the backend of config and waits for its reply.
HttpResult postUsagePing(const UsagePing& ping, const BackendConfig& config,
                         IHttpsTransport& transport = defaultHttpsTransport());

// The worker: postUsagePing, then deletes the record.
void usagePingThread(UsagePing* record, BackendConfig config);

// Starts a report for sim (may be null: empty) and event over a copy of
// backendConfig(); returns at once.
// True when a worker was started.
bool sendUsagePing(const char* sim, const char* event);

}  // namespace qv

#pragma once
// Where the online services go: the backend's base address and access key
// (usage reports, community catalogue), the update manifest's address, an
// extra trusted CA file and the usage-report token.
//
// Every value has a build-time default (the CMake cache variables of the same
// names, empty unless set) that an environment variable of the same name
// overrides; a variable that is set but empty switches its default off. An
// empty address means the feature it serves is off and sends nothing.
//   QV_BACKEND_URL      https://host/functions/v1
//   QV_BACKEND_KEY      the backend's access key
//   QV_UPDATE_URL       https://host/version.json
//   QV_BACKEND_CA_FILE  PEM file of CA certificates trusted besides the system's
//   QV_USAGE_TOKEN      the token sent with usage reports
//   QV_DOWNLOAD_PAGE_URL  https://host/download, the page "Check for Updates" opens

#include <functional>
#include <string>
#include <vector>

namespace qv {

struct BackendConfig {
    std::string baseUrl;    // no trailing "/"; empty: no backend
    std::string accessKey;
    std::string updateUrl;  // empty: no update check
    std::string caFile;
    std::string usageToken;
    std::string downloadPageUrl;  // empty: no download page

    bool hasBackend() const { return !baseUrl.empty(); }
    bool hasUpdateServer() const { return !updateUrl.empty(); }
    bool hasDownloadPage() const { return !downloadPageUrl.empty(); }
};

// The values compiled in.
BackendConfig buildTimeBackendConfig();

// Returns defaults with each variable that lookup finds (non-null) put in its
// place. lookup is getenv-shaped.
using EnvironmentLookup = std::function<const char*(const char* name)>;
BackendConfig applyEnvironment(BackendConfig defaults, const EnvironmentLookup& lookup);

// Checks the addresses: an address that is not a plain https:// address
// (printable ASCII without blanks, a host after the scheme) is cleared, and a
// line explaining why is added to problems. Also strips trailing "/" from the
// base address, and clears values holding line breaks.
BackendConfig validateBackendConfig(BackendConfig config, std::vector<std::string>* problems);

// buildTimeBackendConfig + the process environment + validation.
BackendConfig backendConfigFromEnvironment(std::vector<std::string>* problems);

// True for "https://" (any case) + a non-empty host + printable ASCII without blanks.
bool isHttpsUrl(const std::string& url);

// The process-wide configuration that httpGet, httpPost and the usage report
// use. Set by main before any other thread starts (tests set it too); read
// from any thread afterwards.
void setBackendConfig(const BackendConfig& config);
const BackendConfig& backendConfig();

}  // namespace qv

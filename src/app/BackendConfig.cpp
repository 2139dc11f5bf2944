#include "app/BackendConfig.h"

#include "app/BackendDefaults.h"

#include <cctype>
#include <cstdlib>

namespace qv {

namespace {

BackendConfig gBackendConfig;

bool hasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

void checkAddress(std::string& url, const char* name, const char* whatIsOff, std::vector<std::string>* problems) {
    if (url.empty() || isHttpsUrl(url))
        return;
    if (problems)
        problems->push_back(std::string(name) + " \"" + url + "\" is not an https:// address: " + whatIsOff + ".");
    url.clear();
}

}  // namespace

bool isHttpsUrl(const std::string& url) {
    static constexpr char kScheme[] = "https://";
    constexpr size_t schemeLength = sizeof kScheme - 1;
    if (url.size() <= schemeLength)
        return false;
    for (size_t i = 0; i < schemeLength; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return false;
    for (unsigned char c : url)
        if (c <= ' ' || c >= 0x7F)
            return false;
    const char first = url[schemeLength];
    return first != '/' && first != '?' && first != '#' && first != ':';
}

BackendConfig buildTimeBackendConfig() {
    BackendConfig config;
    config.baseUrl = QV_DEFAULT_BACKEND_URL;
    config.accessKey = QV_DEFAULT_BACKEND_KEY;
    config.updateUrl = QV_DEFAULT_UPDATE_URL;
    config.caFile = QV_DEFAULT_BACKEND_CA_FILE;
    config.usageToken = QV_DEFAULT_USAGE_TOKEN;
    config.downloadPageUrl = QV_DEFAULT_DOWNLOAD_PAGE_URL;
    return config;
}

BackendConfig applyEnvironment(BackendConfig config, const EnvironmentLookup& lookup) {
    const auto take = [&lookup](const char* name, std::string& field) {
        if (const char* value = lookup(name))
            field = value;
    };
    take("QV_BACKEND_URL", config.baseUrl);
    take("QV_BACKEND_KEY", config.accessKey);
    take("QV_UPDATE_URL", config.updateUrl);
    take("QV_BACKEND_CA_FILE", config.caFile);
    take("QV_USAGE_TOKEN", config.usageToken);
    take("QV_DOWNLOAD_PAGE_URL", config.downloadPageUrl);
    return config;
}

BackendConfig validateBackendConfig(BackendConfig config, std::vector<std::string>* problems) {
    while (!config.baseUrl.empty() && config.baseUrl.back() == '/')
        config.baseUrl.pop_back();
    checkAddress(config.baseUrl, "QV_BACKEND_URL", "usage reports and the community catalogue are off", problems);
    checkAddress(config.updateUrl, "QV_UPDATE_URL", "the update check is off", problems);
    checkAddress(config.downloadPageUrl, "QV_DOWNLOAD_PAGE_URL", "\"Check for Updates\" has no download page",
                 problems);
    const auto checkText = [problems](std::string& value, const char* name) {
        if (!hasLineBreak(value))
            return;
        if (problems)
            problems->push_back(std::string(name) + " holds a line break and is ignored.");
        value.clear();
    };
    checkText(config.accessKey, "QV_BACKEND_KEY");
    checkText(config.caFile, "QV_BACKEND_CA_FILE");
    return config;
}

BackendConfig backendConfigFromEnvironment(std::vector<std::string>* problems) {
    return validateBackendConfig(applyEnvironment(buildTimeBackendConfig(), [](const char* name) { return std::getenv(name); }),
                                 problems);
}

void setBackendConfig(const BackendConfig& config) { gBackendConfig = config; }

const BackendConfig& backendConfig() { return gBackendConfig; }

}  // namespace qv

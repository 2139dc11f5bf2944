#include "app/BackendClient.h"

#include <cstring>

namespace qv {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0x0F]);
}

std::string_view withoutScheme(std::string_view url) {
    const size_t scheme = url.find("://");
    return scheme == std::string_view::npos ? url : url.substr(scheme + 3);
}

}  // namespace

BackendClient::BackendClient(BackendConfig config, IHttpsTransport& transport)
    : m_config(std::move(config)), m_transport(transport) {}

void BackendClient::setTimeouts(int connectMs, int totalMs, int stallMs) {
    m_connectTimeoutMs = connectMs;
    m_totalTimeoutMs = totalMs;
    m_stallTimeoutMs = stallMs;
}

std::string BackendClient::urlFor(const std::string& path) const {
    return "https://" + hostOfUrl(m_config.baseUrl) + basePathOfUrl(m_config.baseUrl) + encodeUnsafeUrlBytes(path);
}

HttpResult BackendClient::get(const std::string& path) const { return send(HttpMethod::Get, path, {}); }

HttpResult BackendClient::post(const std::string& path, const std::string& body) const {
    return send(HttpMethod::Post, path, body);
}

HttpResult BackendClient::send(HttpMethod method, const std::string& path, const std::string& body) const {
    HttpResult result;
    if (!m_config.hasBackend()) {
        result.error = "no backend server is configured (QV_BACKEND_URL)";
        return result;
    }
    HttpsRequest request;
    request.method = method;
    request.url = urlFor(path);
    if (method == HttpMethod::Post) {
        request.headers.push_back("Content-Type: application/json");
        request.body = body;
    }
    request.headers.push_back("apikey: " + m_config.accessKey);
    request.headers.push_back("Authorization: Bearer " + m_config.accessKey);
    request.userAgent = m_userAgent;
    request.caFile = m_config.caFile;
    request.connectTimeoutMs = m_connectTimeoutMs;
    request.totalTimeoutMs = m_totalTimeoutMs;
    request.stallTimeoutMs = m_stallTimeoutMs;
    request.maxBodyBytes = m_maxReplyBytes;
    request.shouldCancel = m_shouldCancel;

    HttpsResponse response = m_transport.perform(request);
    result.status = response.status;
    result.body = std::move(response.body);
    result.ok = response.completed && result.status >= 200 && result.status <= 299;
    result.error = std::move(response.error);
    result.cancelled = response.cancelled;
    result.timedOut = response.timedOut;
    result.tooLarge = response.tooLarge;
    return result;
}

HttpResult httpGet(const std::string& path) { return BackendClient(backendConfig()).get(path); }

HttpResult httpPost(const std::string& path, const std::string& body) {
    return BackendClient(backendConfig()).post(path, body);
}

std::string hostOfUrl(std::string_view url) {
    const std::string_view rest = withoutScheme(url);
    return std::string(rest.substr(0, rest.find('/')));
}

std::string pathOfUrl(std::string_view url) {
    const std::string_view rest = withoutScheme(url);
    const size_t slash = rest.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(rest.substr(slash));
}

std::string backendHost() { return hostOfUrl(backendConfig().baseUrl); }

std::string basePathOfUrl(std::string_view url) {
    const std::string path = pathOfUrl(url);
    return path.empty() ? "/functions/v1" : path;
}

std::string backendBasePath() { return basePathOfUrl(backendConfig().baseUrl); }

std::string percentEncode(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved)
            out.push_back(static_cast<char>(c));
        else
            appendEscaped(out, c);
    }
    return out;
}

std::string encodeUnsafeUrlBytes(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        if (c <= ' ' || c >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr)
            appendEscaped(out, c);
        else
            out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace qv

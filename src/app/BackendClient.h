#pragma once
// The small synchronous HTTPS client of the backend's "functions" endpoint:
// the community catalogue's requests (httpGet, httpPost) and the base of the
// usage report. One request, one whole reply; the calling thread blocks for
// at most the client's total time-out.
//
// Paths are appended to the configured base address. Callers put values that
// came from elsewhere (server replies, user input) into a path only through
// percentEncode; bytes that can never stand in an address (blanks, controls,
// non-ASCII, quotes, "#") are percent-encoded here as a last line of defence.

#include "app/BackendConfig.h"
#include "platform/net/HttpsTransport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qv {

struct HttpResult {
    int32_t status = 0;  // HTTP status; 0 when none could be read (nothing sent, no reply)
    std::string body;    // the reply body as received
    bool ok = false;     // the whole reply arrived and 200 <= status <= 299
    std::string error;   // why ok is false when no status explains it (for logs)
    bool cancelled = false;  // the cancel check ended it
    bool timedOut = false;   // a time-out ended it, whatever status had arrived
    bool tooLarge = false;   // the reply was longer than the client's limit
};

inline constexpr const char* kBackendUserAgent = "QuorVane/0.2";
inline constexpr int kBackendConnectTimeoutMs = 10000;
inline constexpr int kBackendTotalTimeoutMs = 30000;
inline constexpr size_t kBackendMaxReplyBytes = 8u << 20;

class BackendClient {
public:
    explicit BackendClient(BackendConfig config, IHttpsTransport& transport = defaultHttpsTransport());

    HttpResult get(const std::string& path) const;
    // body is a JSON text, sent with "Content-Type: application/json".
    HttpResult post(const std::string& path, const std::string& body) const;

    void setUserAgent(std::string agent) { m_userAgent = std::move(agent); }
    void setTimeouts(int connectMs, int totalMs, int stallMs = 0);
    void setMaxReplyBytes(size_t bytes) { m_maxReplyBytes = bytes; }
    // Asked from the transfer's progress on the requesting thread; true ends
    // the request as cancelled.
    void setCancelCheck(std::function<bool()> check) { m_shouldCancel = std::move(check); }

    // The full address of a path, as sent: "https://" + host + base path + path.
    std::string urlFor(const std::string& path) const;

private:
    HttpResult send(HttpMethod method, const std::string& path, const std::string& body) const;

    BackendConfig m_config;
    IHttpsTransport& m_transport;
    std::string m_userAgent = kBackendUserAgent;
    int m_connectTimeoutMs = kBackendConnectTimeoutMs;
    int m_totalTimeoutMs = kBackendTotalTimeoutMs;
    int m_stallTimeoutMs = 0;
    size_t m_maxReplyBytes = kBackendMaxReplyBytes;
    std::function<bool()> m_shouldCancel;
};

// The catalogue's requests over backendConfig(); callable from any thread.
HttpResult httpGet(const std::string& path);
HttpResult httpPost(const std::string& path, const std::string& body);

// The configured base address without the scheme, cut before the first "/"
// that follows ("host" or "host:port"), and from that "/" on
// ("/functions/v1" when there is none).
std::string backendHost();
std::string backendBasePath();
std::string hostOfUrl(std::string_view url);
std::string pathOfUrl(std::string_view url);      // "" when there is no "/" after the host
std::string basePathOfUrl(std::string_view url);  // "/functions/v1" when there is none

// Every byte outside A-Z a-z 0-9 - . _ ~ as %XX: for a value placed into a
// query or path segment ("/fetch-profiles?id=" + percentEncode(id)).
std::string percentEncode(std::string_view value);

// Percent-encodes only the bytes that can never stand in an address.
std::string encodeUnsafeUrlBytes(std::string_view path);

}  // namespace qv

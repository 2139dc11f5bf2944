#pragma once
// One HTTPS request, sent and answered in full, behind a small interface so
// the online services can be driven by a fake in tests.
//
// The caller guarantees a request whose url starts with "https://" (anything
// else is refused without network traffic). The implementation checks
// everything that comes back: certificate (always verified, against the
// system CA store plus the optional extra CA file), time-outs, the size of
// the body, a completed transfer. Redirects are never followed, so headers
// such as an access key never go to another host.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qv {

enum class HttpMethod { Get, Post };

struct HttpsRequest {
    HttpMethod method = HttpMethod::Get;
    std::string url;                   // "https://host[:port]/path[?query]"
    std::vector<std::string> headers;  // "Name: value" each; an empty value is sent empty
    std::string body;                  // sent as the POST data (ignored for GET)
    std::string userAgent;
    std::string caFile;                // extra trusted CA certificates (PEM); empty = system store only
    int connectTimeoutMs = 10000;      // name resolution, TCP connect and TLS handshake
    int totalTimeoutMs = 30000;        // the whole request, from start to last byte; 0 = no limit
    int stallTimeoutMs = 0;            // abort when no byte arrives for this long; 0 = off
    size_t maxBodyBytes = 8u << 20;    // a longer reply body fails the request
    // When set, the body goes here piece by piece instead of into the
    // response (large downloads); returning false aborts the transfer.
    // Called on the thread that runs perform().
    std::function<bool(const char* data, size_t size)> bodySink;
    // When set, asked from the transfer's progress (several times a second,
    // also while nothing arrives); true aborts the transfer as cancelled.
    std::function<bool()> shouldCancel;
};

struct HttpsResponse {
    bool completed = false;  // the transfer ran to its end without an error
    int status = 0;          // HTTP status; 0 when none was received
    std::string body;        // what arrived, in order (possibly partial when !completed)
    std::string error;       // why the transfer did not complete, for logs
    bool cancelled = false;  // shouldCancel ended it
    bool timedOut = false;   // a time-out ended it (connect, total or stall)
    bool tooLarge = false;   // the body was longer than maxBodyBytes
    size_t bodyBytes = 0;    // bytes of body received (also when they went to bodySink)
};

class IHttpsTransport {
public:
    virtual ~IHttpsTransport() = default;
    // Sends the request and waits for the whole reply (bounded by the
    // request's time-outs). Thread-safe: any number of calls may run at once.
    virtual HttpsResponse perform(const HttpsRequest& request) = 0;
};

// The libcurl transport. Stateless; one process-wide instance serves all.
class CurlHttpsTransport : public IHttpsTransport {
public:
    HttpsResponse perform(const HttpsRequest& request) override;
};

IHttpsTransport& defaultHttpsTransport();

// Initialises the HTTPS library once per process, before any other thread
// makes a request (main calls it first thing). There is deliberately no
// matching clean-up: detached workers may still be mid-request at exit.
bool httpsGlobalInit(std::string* error = nullptr);

}  // namespace qv

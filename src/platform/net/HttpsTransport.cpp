#include "platform/net/HttpsTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace qv {

namespace {

std::once_flag gInitOnce;
CURLcode gInitResult = CURLE_FAILED_INIT;

bool startsWithHttps(const std::string& url) {
    static constexpr char kScheme[] = "https://";
    if (url.size() < sizeof kScheme - 1)
        return false;
    for (size_t i = 0; i < sizeof kScheme - 1; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kScheme[i])
            return false;
    return true;
}

bool hasLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// "Name: value" as libcurl wants it: a header with an empty value is written
// "Name;" (libcurl drops "Name:" with nothing after it).
std::string curlHeaderLine(const std::string& header) {
    const size_t colon = header.find(':');
    if (colon == std::string::npos)
        return header;
    size_t valueStart = colon + 1;
    while (valueStart < header.size() && header[valueStart] == ' ')
        ++valueStart;
    if (valueStart < header.size())
        return header;
    return header.substr(0, colon) + ";";
}

struct BodySink {
    std::string* body;
    size_t limit;
    const std::function<bool(const char*, size_t)>* forward;  // null or empty: into body
    size_t received = 0;
    bool overflowed = false;
    bool refused = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t n = size * count;
    if (n > sink->limit - std::min(sink->limit, sink->received)) {
        sink->overflowed = true;
        return 0;  // makes libcurl abort the transfer with CURLE_WRITE_ERROR
    }
    if (sink->forward && *sink->forward) {
        if (!(*sink->forward)(data, n)) {
            sink->refused = true;
            return 0;
        }
    } else {
        sink->body->append(data, n);
    }
    sink->received += n;
    return n;
}

int progressCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::function<bool()>*>(user);
    return (*cancel)() ? 1 : 0;  // non-zero aborts with CURLE_ABORTED_BY_CALLBACK
}

// libcurl refuses a reply header longer than CURL_MAX_HTTP_HEADER; before
// 8.6 it reports that as running out of memory once the status line has
// arrived.
bool isOversizedHeader(CURLcode result, long status) {
#if CURL_AT_LEAST_VERSION(8, 6, 0)
    if (result == CURLE_TOO_LARGE)
        return true;
#endif
    return result == CURLE_OUT_OF_MEMORY && status > 0;
}

// Owns the handle and header list of one request.
struct CurlRequest {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlRequest() {
        if (handle)
            curl_easy_cleanup(handle);
        curl_slist_free_all(headers);
    }
    bool addHeader(const std::string& line) {
        curl_slist* grown = curl_slist_append(headers, line.c_str());
        if (!grown)
            return false;
        headers = grown;
        return true;
    }
};

}  // namespace

bool httpsGlobalInit(std::string* error) {
    std::call_once(gInitOnce, [] { gInitResult = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (gInitResult != CURLE_OK && error)
        *error = std::string("curl_global_init: ") + curl_easy_strerror(gInitResult);
    return gInitResult == CURLE_OK;
}

IHttpsTransport& defaultHttpsTransport() {
    static CurlHttpsTransport transport;
    return transport;
}

HttpsResponse CurlHttpsTransport::perform(const HttpsRequest& request) {
    HttpsResponse response;
    if (!startsWithHttps(request.url)) {
        response.error = "refused to send to \"" + request.url + "\": only https:// addresses are allowed";
        return response;
    }
    if (hasLineBreakOrNul(request.url) || hasLineBreakOrNul(request.userAgent) ||
        std::any_of(request.headers.begin(), request.headers.end(), hasLineBreakOrNul)) {
        response.error = "refused to send a request whose address or headers hold a line break";
        return response;
    }
    if (!httpsGlobalInit(&response.error))
        return response;

    CurlRequest curl;
    if (!curl.handle) {
        response.error = "curl_easy_init failed";
        return response;
    }
    for (const std::string& header : request.headers)
        if (!curl.addHeader(curlHeaderLine(header))) {
            response.error = "out of memory for the request headers";
            return response;
        }
    // libcurl's own defaults that the request shape does not include.
    if (!curl.addHeader("Accept:") || !curl.addHeader("Expect:")) {
        response.error = "out of memory for the request headers";
        return response;
    }

    char errorText[CURL_ERROR_SIZE] = {};
    BodySink sink{&response.body, request.maxBodyBytes, &request.bodySink};
    CURL* h = curl.handle;
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!request.caFile.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, request.connectTimeoutMs)));
    if (request.totalTimeoutMs > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeoutMs));
    if (request.shouldCancel) {
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progressCheck);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &request.shouldCancel);
    }
    if (request.stallTimeoutMs > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>((request.stallTimeoutMs + 999) / 1000));
    }
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBodyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    if (!request.userAgent.empty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, curl.headers);
    if (request.method == HttpMethod::Post) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode result = curl_easy_perform(h);

    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 100 || status > 599)
        status = 0;
    response.status = static_cast<int>(status);

    response.bodyBytes = sink.received;
    if (result == CURLE_ABORTED_BY_CALLBACK) {
        response.cancelled = true;
        response.error = request.url + ": cancelled";
    } else if (sink.refused) {
        response.error = request.url + ": the received data could not be stored";
    } else if (isOversizedHeader(result, status)) {
        response.tooLarge = true;
        response.error = "the reply from " + request.url + " has a header longer than " +
                         std::to_string(CURL_MAX_HTTP_HEADER) + " bytes";
    } else if (sink.overflowed || result == CURLE_FILESIZE_EXCEEDED) {
        response.tooLarge = true;
        response.error = "the reply from " + request.url + " is longer than " + std::to_string(request.maxBodyBytes) +
                         " bytes";
    } else if (result != CURLE_OK) {
        response.timedOut = result == CURLE_OPERATION_TIMEDOUT;
        response.error = request.url + ": " + (errorText[0] ? errorText : curl_easy_strerror(result));
    } else {
        response.completed = true;
    }
    return response;
}

}  // namespace qv

#pragma once
// A loopback HTTPS server of the test's own (tests/support/https_test_server.py)
// with a certificate from a test CA made when it starts, on an ephemeral
// 127.0.0.1 port. It ends with this object, after a bounded number of
// requests, or after a bounded lifetime. See the script for its routes.

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qv::test {

class HttpsTestServer {
public:
    HttpsTestServer();
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    // False (with error()) when the server did not come up.
    bool isRunning() const { return m_port > 0; }
    const std::string& error() const { return m_error; }

    int port() const { return m_port; }
    // The PEM file of the test CA that signed the server's certificate.
    const std::string& caFile() const { return m_caFile; }
    // "https://127.0.0.1:<port>" + path.
    std::string url(const std::string& path) const;
    // A port that accepts connections and never answers, and one nobody listens on.
    int stallPort() const { return m_stallPort; }
    int closedPort() const { return m_closedPort; }

    // Serves text at /files/<name> with the given status; with a delay, the
    // status line and headers go out at once and the body that many seconds
    // later (a server that stalls mid-reply).
    void serveFile(const std::string& name, const std::string& text, int status = 200, int delaySeconds = 0);
    // Adds a header line of `bytes` bytes to the replies of /files/<name>
    // (until its next serveFile).
    void padHeader(const std::string& name, int bytes);

    // The requests received so far, in order: {"method", "path", "headers", "body"}.
    std::vector<nlohmann::json> requests() const;

    // The value of the first header of that name (case-insensitive) in a
    // logged request, and how many headers of that name it had.
    static std::string header(const nlohmann::json& request, const std::string& name);
    static int headerCount(const nlohmann::json& request, const std::string& name);

private:
    TempDir m_dir;
    ChildProcess m_process;
    int m_port = 0;
    int m_stallPort = 0;
    int m_closedPort = 0;
    std::string m_caFile;
    std::string m_error;
};

}  // namespace qv::test

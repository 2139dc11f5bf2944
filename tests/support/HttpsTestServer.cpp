#include "support/HttpsTestServer.h"

#include <sstream>
#include <strings.h>
#include <unistd.h>

namespace qv::test {

namespace {

constexpr int kStartTimeoutMs = 30000;

}  // namespace

HttpsTestServer::HttpsTestServer() {
    // Loopback requests never go through a proxy that the environment names.
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);

    const std::string outputPath = m_dir.file("server.out");
    if (!m_process.start({QV_TEST_PYTHON3, QV_TEST_HTTPS_SERVER_SCRIPT, "--dir", m_dir.path(), "--max-requests", "200",
                          "--lifetime", "300", "--parent", std::to_string(::getpid())},
                         {}, outputPath)) {
        m_error = std::string("could not start ") + QV_TEST_PYTHON3;
        return;
    }
    if (!m_process.waitForOutput("\n", kStartTimeoutMs)) {
        m_error = "the test server printed no address line: " + m_process.errors();
        return;
    }
    const std::string output = m_process.output();
    const std::string line = output.substr(0, output.find('\n'));
    const nlohmann::json info = nlohmann::json::parse(line, nullptr, false);
    if (!info.is_object() || !info.contains("port")) {
        m_error = "unexpected address line from the test server: " + line;
        return;
    }
    m_caFile = info.value("ca", "");
    m_stallPort = info.value("stall_port", 0);
    m_closedPort = info.value("closed_port", 0);
    m_port = info.value("port", 0);
}

HttpsTestServer::~HttpsTestServer() = default;  // the ChildProcess ends the server

std::string HttpsTestServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpsTestServer::serveFile(const std::string& name, const std::string& text, int status, int delaySeconds) {
    writeFile(m_dir.file(name), text);
    writeFile(m_dir.file(name + ".status"), std::to_string(status));
    writeFile(m_dir.file(name + ".delay"), std::to_string(delaySeconds));
    writeFile(m_dir.file(name + ".padding"), "0");
}

void HttpsTestServer::padHeader(const std::string& name, int bytes) {
    writeFile(m_dir.file(name + ".padding"), std::to_string(bytes));
}

std::vector<nlohmann::json> HttpsTestServer::requests() const {
    std::vector<nlohmann::json> result;
    std::istringstream lines(readFile(m_dir.file("requests.log")));
    std::string line;
    while (std::getline(lines, line)) {
        nlohmann::json request = nlohmann::json::parse(line, nullptr, false);
        if (request.is_object())
            result.push_back(std::move(request));
    }
    return result;
}

std::string HttpsTestServer::header(const nlohmann::json& request, const std::string& name) {
    for (const auto& pair : request.value("headers", nlohmann::json::array()))
        if (pair.size() == 2 && ::strcasecmp(pair[0].get<std::string>().c_str(), name.c_str()) == 0)
            return pair[1].get<std::string>();
    return {};
}

int HttpsTestServer::headerCount(const nlohmann::json& request, const std::string& name) {
    int count = 0;
    for (const auto& pair : request.value("headers", nlohmann::json::array()))
        if (pair.size() == 2 && ::strcasecmp(pair[0].get<std::string>().c_str(), name.c_str()) == 0)
            ++count;
    return count;
}

}  // namespace qv::test

#include "support/HttpsTestServer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qv::test {

namespace {

constexpr int kStartTimeoutMs = 30000;

// Reads one line from fd, waiting at most timeoutMs in all.
bool readLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    int waited = 0;
    while (waited < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0) {
            waited += 100;
            continue;
        }
        char c;
        const ssize_t n = ::read(fd, &c, 1);
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        line.push_back(c);
    }
    return false;
}

}  // namespace

HttpsTestServer::HttpsTestServer() {
    // Loopback requests never go through a proxy that the environment names.
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        m_error = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string python = QV_TEST_PYTHON3;
    const std::string script = QV_TEST_HTTPS_SERVER_SCRIPT;
    const std::string folder = m_dir.path();
    std::vector<std::string> args = {python, script, "--dir", folder, "--max-requests", "200", "--lifetime", "300"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&m_pid, python.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    if (rc != 0) {
        m_pid = -1;
        m_error = "posix_spawn " + python + ": " + std::strerror(rc);
        ::close(out[0]);
        return;
    }
    std::string line;
    const bool gotLine = readLine(out[0], line, kStartTimeoutMs);
    ::close(out[0]);
    if (!gotLine) {
        m_error = "the test server printed no address line";
        return;
    }
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

HttpsTestServer::~HttpsTestServer() {
    if (m_stdin >= 0)
        ::close(m_stdin);  // the server ends when its standard input closes
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string HttpsTestServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpsTestServer::serveFile(const std::string& name, const std::string& text, int status) {
    writeFile(m_dir.file(name), text);
    writeFile(m_dir.file(name + ".status"), std::to_string(status));
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

#include "support/TempDir.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace qv::test {

std::string uniqueName(const std::string& prefix) {
    static std::atomic<int> counter{0};
    std::random_device rd;
    return prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(rd() % 100000);
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string root = base && *base ? base : "/tmp";
    std::string pattern = root + "/qvtest-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    m_path = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

}  // namespace qv::test

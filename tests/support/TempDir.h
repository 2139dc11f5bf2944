#pragma once
// A temporary folder of the test's own, removed with its contents at the end.

#include <string>

namespace qv::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in "/".
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// A name no other test or process on this machine uses ("<prefix>-<pid>-<n>-<random>").
std::string uniqueName(const std::string& prefix);

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& text);

}  // namespace qv::test

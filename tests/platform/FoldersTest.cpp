#include "platform/Folders.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace qv::test {
namespace {

class SavedEnvironment {
public:
    SavedEnvironment() {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
    }
    ~SavedEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// Settings never go elsewhere without a word: every fallback comes with a
// note that names the cause and the folder used instead.
TEST(AppDataFolder, AnUnusableSettingsFolderIsNamedAndTheFallbackSaid) {
    SavedEnvironment saved;
    TempDir dir;
    ASSERT_TRUE(writeFile(dir.file("file"), "in the way"));
    std::string note = "stale";

    ::setenv("XDG_CONFIG_HOME", (dir.path() + "config").c_str(), 1);
    EXPECT_EQ(appDataFolder(&note), dir.path() + "config/QuorVane/");
    EXPECT_EQ(note, "");

    ::setenv("XDG_CONFIG_HOME", dir.file("file").c_str(), 1);
    const std::string fallback = appDataFolder(&note);
    EXPECT_EQ(fallback, executableFolder()) << "writable here";
    EXPECT_EQ(note, "The settings folder cannot be used (mkdir " + dir.file("file") +
                        "/QuorVane: Not a directory): settings are kept in " + fallback);

    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::unsetenv("HOME");
    appDataFolder(&note);
    EXPECT_EQ(note, "The settings folder cannot be used (neither XDG_CONFIG_HOME nor HOME names an absolute folder): "
                    "settings are kept in " + fallback);
}

}  // namespace
}  // namespace qv::test

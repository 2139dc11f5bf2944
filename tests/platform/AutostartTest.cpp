// The autostart entry in a temporary XDG_CONFIG_HOME: it appears and goes,
// and its Exec line gives back the program's path whole for any path.

#include "platform/Autostart.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qv {
namespace {

using test::TempDir;

// Reads an Exec value back the way a desktop reads it: key-file string
// escapes first, then the quoting of the argument and '%%'.
std::vector<std::string> execArguments(const std::string& value) {
    std::string unescaped;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char c = value[++i];
            unescaped += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
        } else {
            unescaped += value[i];
        }
    }
    std::vector<std::string> args;
    std::string current;
    bool inQuotes = false, any = false;
    for (size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < unescaped.size()) {
                current += unescaped[++i];
            } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
                current += '%';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            inQuotes = any = true;
        } else if (c == ' ') {
            if (any)
                args.push_back(current);
            current.clear();
            any = false;
        } else if (c == '%' && i + 1 < unescaped.size() && unescaped[i + 1] == '%') {
            current += '%';
            ++i;
            any = true;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        args.push_back(current);
    return args;
}

std::string execValue(const std::string& entry) {
    const size_t start = entry.find("\nExec=");
    if (start == std::string::npos)
        return {};
    const size_t end = entry.find('\n', start + 1);
    return entry.substr(start + 6, end - start - 6);
}

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld = old != nullptr;
        if (old)
            oldValue = old;
        ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadOld)
            ::setenv("XDG_CONFIG_HOME", oldValue.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    TempDir dir;
    bool hadOld = false;
    std::string oldValue;
};

TEST_F(AutostartTest, TheEntryAppearsAndGoesInTheConfigFolder) {
    EXPECT_EQ(autostartEntryPath(), dir.path() + "autostart/quorvane.desktop");
    EXPECT_FALSE(isRunAtStartup());
    std::string error;
    ASSERT_TRUE(setRunAtStartup(true, &error)) << error;
    EXPECT_TRUE(isRunAtStartup());
    const std::string entry = test::readFile(autostartEntryPath());
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    EXPECT_EQ(execArguments(execValue(entry)), std::vector<std::string>{ownProgramPath()});
    ASSERT_TRUE(setRunAtStartup(false, &error)) << error;
    EXPECT_FALSE(isRunAtStartup());
    EXPECT_TRUE(setRunAtStartup(false, &error)) << "no entry is no error";
}

TEST_F(AutostartTest, ProgramPathsComeBackWholeFromTheExecLine) {
    const std::string longPath = "/opt/" + std::string(600, 'a') + "/quorvane";
    const std::vector<std::string> paths = {
        "/usr/bin/quorvane",
        "/home/me/My Programs/quor vane",
        "/home/me/\"quoted\" and 'single'/quorvane",
        "/tmp/back\\slash/$HOME/`cmd`/100%/quorvane",
        "/tmp/semi;colon&amp|pipe<>*?#()~/q",
        "/tmp/tab\there/newline\nhere/q",
        longPath,
    };
    for (const std::string& path : paths) {
        const std::string value = execValue(autostartEntryText(path));
        EXPECT_EQ(value.find('\n'), std::string::npos) << path;
        EXPECT_EQ(execArguments(value), std::vector<std::string>{path}) << "Exec=" << value;
    }
    EXPECT_EQ(desktopExecArgument("/usr/bin/quorvane"), "/usr/bin/quorvane");
    EXPECT_EQ(desktopExecArgument("/a b/q"), "\"/a b/q\"");
}

TEST_F(AutostartTest, EntriesPassTheDesktopFileValidator) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "desktop-file-validate (desktop-file-utils) is not installed";
    const std::vector<std::string> paths = {"/usr/bin/quorvane", "/home/me/My \"Programs\"/q$v`x`/100%/quorvane"};
    for (const std::string& path : paths) {
        const std::string file = dir.file("check.desktop");
        ASSERT_TRUE(test::writeFile(file, autostartEntryText(path)));
        const std::string command = "desktop-file-validate '" + file + "' > '" + dir.file("validate.txt") + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << path << "\n" << test::readFile(dir.file("validate.txt"));
    }
}

TEST_F(AutostartTest, AFailedWriteReportsAndLeavesNoEntry) {
    // A file where the autostart folder should be: the folder cannot be made.
    ASSERT_TRUE(test::writeFile(dir.file("autostart"), "not a folder"));
    std::string error;
    EXPECT_FALSE(setRunAtStartup(true, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(isRunAtStartup());
}

TEST_F(AutostartTest, ARelativeConfigHomeFallsBackToHome) {
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
    ::setenv("HOME", "/home/tester/", 1);
    EXPECT_EQ(autostartFolder(), "/home/tester/.config/autostart/");
    ::setenv("HOME", "relative", 1);
    EXPECT_EQ(autostartFolder(), "");
    std::string error;
    EXPECT_FALSE(setRunAtStartup(true, &error));
    EXPECT_FALSE(isRunAtStartup());
    if (home)
        ::setenv("HOME", oldHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

}  // namespace
}  // namespace qv

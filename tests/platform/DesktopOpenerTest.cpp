// The xdg-open opener with a stand-in program: the target arrives as one
// argument, untouched by any shell; failures and refusals are reported.

#include "platform/DesktopOpener.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace qv {
namespace {

using test::TempDir;

// A stand-in for xdg-open: writes its arguments, one a line, and exits with
// the given status.
std::string makeOpener(const TempDir& dir, int status, const std::string& extra = {}) {
    const std::string path = dir.file("fake-open-" + std::to_string(status));
    const std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + dir.file("args") +
                               "'; done\n" + extra + "exit " + std::to_string(status) + "\n";
    EXPECT_TRUE(test::writeFile(path, script));
    ::chmod(path.c_str(), 0700);
    return path;
}

TEST(DesktopOpener, TheTargetArrivesAsOneArgumentWithoutAShell) {
    TempDir dir;
    XdgOpener opener(makeOpener(dir, 0));
    std::string error;
    const std::string target = "https://example.invalid/a b;$(touch " + dir.file("pwned") + ")&`id`";
    ASSERT_TRUE(opener.open(target, &error)) << error;
    EXPECT_EQ(test::readFile(dir.file("args")), target + "\n");
    EXPECT_FALSE(test::readFile(dir.file("pwned")).size() > 0);
    struct stat st{};
    EXPECT_NE(::stat(dir.file("pwned").c_str(), &st), 0);
}

TEST(DesktopOpener, FailuresAndRefusalsAreReported) {
    TempDir dir;
    struct Case {
        std::string program;
        std::string target;
        std::string errorPart;
    };
    const Case cases[] = {
        {makeOpener(dir, 3), "https://example.invalid/", "no application"},
        {makeOpener(dir, 4), "/tmp", "application failed"},
        {dir.file("no-such-program"), "https://example.invalid/", "posix_spawnp"},
        {makeOpener(dir, 0), "", "Nothing to open"},
        {makeOpener(dir, 0), "--help", "Refused"},
        {makeOpener(dir, 0), "https://example.invalid/\nx", "Refused"},
    };
    for (const Case& c : cases) {
        XdgOpener opener(c.program);
        std::string error;
        EXPECT_FALSE(opener.open(c.target, &error)) << c.target;
        EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
}

TEST(DesktopOpener, AnOpenerThatKeepsRunningCountsAsStarted) {
    TempDir dir;
    XdgOpener opener(makeOpener(dir, 0, "sleep 1\n"), 100);
    std::string error;
    EXPECT_TRUE(opener.open("/tmp", &error)) << error;
}

}  // namespace
}  // namespace qv

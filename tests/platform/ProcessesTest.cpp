#include "platform/Processes.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace qv {
namespace {

void addProcess(const std::string& root, const std::string& id, const std::string& comm, const std::string& cmdline) {
    std::filesystem::create_directories(root + id);
    std::ofstream(root + id + "/comm") << comm << "\n";
    std::ofstream(root + id + "/cmdline", std::ios::binary) << cmdline;
}

TEST(ProcessesTest, FindsTheVrServerByShortNameOrFirstArgumentIgnoringCase) {
    const std::vector<std::string> names = {"vrserver", "vrserver.exe"};
    struct Case {
        std::string comm, cmdline;
        bool found;
    } cases[] = {
        {"vrserver", std::string("/opt/vr/bin/vrserver\0--keepalive", 32), true},
        {"VRServer.EXE", "", true},
        {"wine64-preload", std::string("C:\\Program Files\\VR\\bin\\win64\\vrserver.exe\0", 44), true},
        {"vrserver-helper", "/usr/bin/vrserver-helper", false},
        {"bash", "/bin/bash", false},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        addProcess(dir.path(), "1", "systemd", "/sbin/init");
        addProcess(dir.path(), "4242", c.comm, c.cmdline);
        std::filesystem::create_directories(dir.path() + "self");  // not a process number
        EXPECT_EQ(isProcessRunning(names, dir.path()), c.found) << c.comm;
    }
}

TEST(ProcessesTest, AMissingFolderFindsNothingAndTheRealProcFindsThisTest) {
    EXPECT_FALSE(isProcessRunning({"x"}, "/nonexistent-proc-folder"));
    EXPECT_TRUE(isProcessRunning({"qv_platform_window_tests"}) ||
                isProcessRunning({"qv_platform_win"}));  // the kernel's short name is cut at 15 characters
}

}  // namespace
}  // namespace qv

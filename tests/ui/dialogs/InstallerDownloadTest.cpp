// The installer download's worker on its own (threads: the worker publishes
// while the GUI thread polls and cancels): a size cap, a cancel while the
// transfer waits, one download at a time, and a program that ends while the
// download runs.

#include "ui/dialogs/InstallerDownload.h"

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace qv::test {
namespace {

class InstallerDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.isRunning()) << server.error();
        ::setenv("TMPDIR", downloads.path().c_str(), 1);
        options.caFile = server.caFile();
        resetInstallerState();
    }
    void TearDown() override {
        cancelInstallerDownload();
        EXPECT_TRUE(waitForInstallerWorker(20000));
        resetInstallerState();
        ::unsetenv("TMPDIR");
    }
    HttpsTestServer server;
    TempDir downloads;
    InstallerDownloadOptions options;
};

TEST_F(InstallerDownloadTest, ABodyAboveTheCapFails) {
    options.maxBytes = 1000;
    ASSERT_TRUE(startInstallerDownload(server.url("/big?bytes=5000"), options));
    ASSERT_TRUE(eventually([] { return gInstallerState.load() != kInstallerDownloading; }, 30000));
    EXPECT_EQ(gInstallerState.load(), kInstallerFailed);
    EXPECT_NE(installerError().find("longer than 1000 bytes"), std::string::npos) << installerError();
    EXPECT_TRUE(installerPath().empty());
}

TEST_F(InstallerDownloadTest, OneDownloadAtATimeAndACancelEndsAWaitingTransfer) {
    const std::string stalled = "https://127.0.0.1:" + std::to_string(server.stallPort()) + "/setup.exe";
    ASSERT_TRUE(startInstallerDownload(stalled, options));
    EXPECT_FALSE(startInstallerDownload(server.url("/big?bytes=10"), options));
    EXPECT_FALSE(startInstallerDownload("http://example.invalid/x", options));
    // The GUI thread polls while the worker runs.
    std::thread poller([] {
        for (int i = 0; i < 50; ++i) {
            (void)gInstallerState.load();
            (void)installerPath();
            (void)installerError();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    cancelInstallerDownload();
    poller.join();
    ASSERT_TRUE(waitForInstallerWorker(10000));
    EXPECT_EQ(gInstallerState.load(), kInstallerIdle);
    EXPECT_TRUE(installerPath().empty());
    // And a new one can start.
    ASSERT_TRUE(startInstallerDownload(server.url("/big?bytes=10"), options));
    ASSERT_TRUE(eventually([] { return gInstallerState.load() != kInstallerDownloading; }, 30000));
    EXPECT_EQ(gInstallerState.load(), kInstallerDownloaded) << installerError();
}

// Everything under `folder`, one path per line.
std::string listing(const std::string& folder) {
    std::string text;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec))
        text += entry.path().string() + "\n";
    return text;
}

// Ctrl+C while an update downloads: the program ends at once, before the
// download's worker notices (it would only at the transfer's next progress
// call), and the partial file and its folder must go with it.
TEST(InstallerDownloadAtExit, TheProgramEndingDuringADownloadLeavesNoFileBehind) {
    HttpsTestServer server;
    ASSERT_TRUE(server.isRunning()) << server.error();
    TempDir downloads;
    TempDir output;
    ChildProcess program;
    // 1 MB at 1 KiB every 0.2 s: still running long after the test ends it.
    ASSERT_TRUE(program.start({QV_UPDATE_DOWNLOAD_CHILD,
                               server.url("/slow/QuorVane-Setup.exe?bytes=1000000&chunk=1024&interval=0.2"),
                               server.caFile()},
                              {{"TMPDIR", downloads.path()}}, output.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("downloading ", 30000)) << program.output() << program.errors();
    EXPECT_NE(program.output().find("/QuorVane-Setup.exe.part\n"), std::string::npos) << program.output();
    ASSERT_NE(listing(downloads.path()), "");

    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0) << program.errors();
    EXPECT_EQ(listing(downloads.path()), "") << "left behind by the download";
}

}  // namespace
}  // namespace qv::test

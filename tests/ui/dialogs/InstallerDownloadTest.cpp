// The installer download's worker on its own (threads: the worker publishes
// while the GUI thread polls and cancels): a size cap, a cancel while the
// transfer waits, and one download at a time.

#include "ui/dialogs/InstallerDownload.h"

#include "support/Eventually.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

}  // namespace
}  // namespace qv::test

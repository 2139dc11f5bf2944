// The update dialog's download against the loopback HTTPS server (complete
// files only, into a private folder; every failure is "Failed -- Retry" and
// leaves nothing behind; a retry starts over; closing cancels), its poll
// timer, the notes box's scrolling, and the release-notes dialog's texts.

#include "ui/dialogs/UpdateDialogs.h"

#include "app/BackendConfig.h"
#include "app/UpdateCheck.h"
#include "app/Version.h"
#include "platform/Files.h"
#include "platform/graphics/Utf8.h"
#include "support/Eventually.h"
#include "support/GraphicsFixture.h"
#include "support/HttpsTestServer.h"
#include "support/TempDir.h"
#include "ui/Appearance.h"
#include "ui/DialogHost.h"
#include "ui/dialogs/DialogTestSupport.h"
#include "ui/dialogs/InstallerDownload.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::test {
namespace {

// What the update check publishes, written the way it writes it.
void publishUpdate(const std::string& url, const std::string& version, const std::string& notes) {
    copyTruncatedUtf8(gUpdateUrl, kUpdateUrlSize, url);
    copyTruncatedUtf8(gLatestVersion, kLatestVersionSize, version);
    std::memset(gReleaseNotes, 0, sizeof gReleaseNotes);
    std::memcpy(gReleaseNotes, notes.data(), std::min(notes.size(), kReleaseNotesSize - 1));
    gReleaseNotesReady.store(notes.empty() ? 0 : 1, std::memory_order_release);
    gUpdateAvailable.store(url.empty() && version.empty() ? 0 : 1, std::memory_order_release);
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

class UpdateDialogTest : public GraphicsFixture {
protected:
    void SetUp() override {
        GraphicsFixture::SetUp();
        ASSERT_TRUE(server.isRunning()) << server.error();
        const char* tmp = std::getenv("TMPDIR");
        hadTmp = tmp != nullptr;
        if (tmp)
            oldTmp = tmp;
        ::setenv("TMPDIR", downloads.path().c_str(), 1);
        savedConfig = backendConfig();
        BackendConfig config;
        config.caFile = server.caFile();
        setBackendConfig(config);
        resetLastDialogClose();
        boxes.answer = true;
    }
    void TearDown() override {
        cancelInstallerDownload();
        EXPECT_TRUE(waitForInstallerWorker(20000));
        resetInstallerState();
        publishUpdate("", "", "");
        setBackendConfig(savedConfig);
        if (hadTmp)
            ::setenv("TMPDIR", oldTmp.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        releaseGuiResources();
        GraphicsFixture::TearDown();
    }

    void open(const std::string& url, const std::string& notes = "Faster.\r\nSmoother.",
              const std::string& version = "0.7.0") {
        publishUpdate(url, version, notes);
        initUpdateDialog(state);
        image = paintOnce(paintUpdateDialog, state, 480, 500);
    }
    // Clicks Download and waits for the worker's answer.
    int32_t download() {
        clickRect(updateDialogMouse, state, state.downloadButton.rect);
        EXPECT_TRUE(eventually([] { return gInstallerState.load() != kInstallerDownloading; }, 30000));
        return gInstallerState.load();
    }

    HttpsTestServer server;
    TempDir downloads;  // TMPDIR: where the private folders are made
    bool hadTmp = false;
    std::string oldTmp;
    BackendConfig savedConfig;
    FakeMessageBoxes boxes;
    FakeOpener opener;
    UpdateDialogState state;
    std::unique_ptr<ImageTarget> image;
};

TEST_F(UpdateDialogTest, ACompleteDownloadLandsInAPrivateFolderThatOpens) {
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += static_cast<char>('a' + i % 26);
    server.serveFile("QuorVane-Setup.exe", bytes);
    open(server.url("/files/QuorVane-Setup.exe"));
    EXPECT_EQ(state.versionLine, "Installed: v" + std::string(kVersionText) + "     Latest: v0.7.0");

    ASSERT_EQ(download(), kInstallerDownloaded) << installerError();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].question);
    const std::string path = installerPath();
    EXPECT_EQ(path.rfind(downloads.path() + "quorvane-update-", 0), 0u) << path;
    EXPECT_EQ(path.substr(path.rfind('/') + 1), "QuorVane-Setup.exe");
    EXPECT_EQ(readFile(path), bytes);
    struct stat st{};
    ASSERT_EQ(::stat(path.substr(0, path.rfind('/')).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(folderEntries(path.substr(0, path.rfind('/'))).size(), 1u) << "no temporary file left";

    EXPECT_TRUE(updateDialogTimer(kInstallerPollTimer, 0, 0, &state));
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0], path.substr(0, path.rfind('/') + 1));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[1].text.find(path), std::string::npos);
    EXPECT_TRUE(lastDialogClose().requested);
    EXPECT_EQ(lastDialogClose().code, 1);
    ::unlink(path.c_str());
    ::rmdir(path.substr(0, path.rfind('/')).c_str());
}

TEST_F(UpdateDialogTest, FailedTransfersShowRetryAndLeaveNothingBehind) {
    server.serveFile("empty.exe", "");
    struct Case {
        std::string url;
        bool trusted;
    };
    const Case cases[] = {
        {server.url("/status/404"), true},
        {server.url("/status/500"), true},
        {server.url("/truncated"), true},
        {server.url("/files/empty.exe"), true},
        {server.url("/files/empty.exe"), false},  // the server's certificate is not trusted
        {"https://127.0.0.1:" + std::to_string(server.closedPort()) + "/x", true},
    };
    for (const Case& c : cases) {
        BackendConfig config;
        config.caFile = c.trusted ? server.caFile() : std::string();
        setBackendConfig(config);
        open(c.url);
        EXPECT_EQ(download(), kInstallerFailed) << c.url;
        EXPECT_FALSE(installerError().empty());
        EXPECT_TRUE(installerPath().empty());
        EXPECT_TRUE(folderEntries(downloads.path()).empty()) << c.url;
        EXPECT_TRUE(updateDialogTimer(kInstallerPollTimer, 0, 0, &state));
        EXPECT_FALSE(lastDialogClose().requested);
        image = paintOnce(paintUpdateDialog, state, 480, 500);
        EXPECT_STREQ(state.downloadButton.label, "Failed -- Retry");
        EXPECT_TRUE(state.downloadButton.enabled);
    }
    saveRender(*image, "update_dialog_failed");
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(UpdateDialogTest, ARetryStartsOverAndCanSucceed) {
    server.serveFile("later.exe", "not yet", 404);
    open(server.url("/files/later.exe"));
    ASSERT_EQ(download(), kInstallerFailed);
    server.serveFile("later.exe", "the installer");
    clickRect(updateDialogMouse, state, state.downloadButton.rect);
    EXPECT_TRUE(gInstallerState.load() == kInstallerDownloading || gInstallerState.load() == kInstallerDownloaded);
    ASSERT_TRUE(eventually([] { return gInstallerState.load() != kInstallerDownloading; }, 30000));
    ASSERT_EQ(gInstallerState.load(), kInstallerDownloaded) << installerError();
    EXPECT_EQ(readFile(installerPath()), "the installer");
    ::unlink(installerPath().c_str());
    ::rmdir(installerPath().substr(0, installerPath().rfind('/')).c_str());
}

// The update check drops an address that is not https://; Download then
// says there is no secure download instead of doing nothing silently.
TEST_F(UpdateDialogTest, NoSecureAddressSaysSoAndANoDoesNothing) {
    open("");
    clickRect(updateDialogMouse, state, state.downloadButton.rect);
    updateDialogKey(kWmKeyDown, kVkReturn, 0, &state);
    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const auto& shown : boxes.shown) {
        EXPECT_FALSE(shown.question);
        EXPECT_EQ(shown.text, kNoSecureDownloadText);
    }
    EXPECT_EQ(gInstallerState.load(), kInstallerIdle);

    boxes.shown.clear();
    open(server.url("/files/x.exe"));
    boxes.answer = false;
    updateDialogKey(kWmKeyDown, kVkReturn, 0, &state);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(gInstallerState.load(), kInstallerIdle);
    EXPECT_FALSE(state.polling);
    EXPECT_TRUE(server.requests().empty());
}

// ESC, BEL and a right-to-left override from the server never reach the
// screen; the notes keep their line breaks.
TEST_F(UpdateDialogTest, ServerTextsAreCleanedOfControlAndBidirectionalCharacters) {
    open(server.url("/files/x.exe"), "One\x1b[31m\x07\r\n\xe2\x80\xaeTwo\xe2\x81\xa6!", "0.7\x1b]0;x\x07\xe2\x80\xae.1");
    EXPECT_EQ(state.versionLine, "Installed: v" + std::string(kVersionText) + "     Latest: v0.7]0;x.1");
    EXPECT_EQ(state.notes.text, "One[31m\r\nTwo!");
    EXPECT_EQ(releaseNotesText(), "One[31m\r\nTwo!");
}

TEST_F(UpdateDialogTest, ThePollTimerActsOnlyOnAFinishedDownload) {
    open(server.url("/files/x.exe"));
    for (int32_t idleOrRunning : {kInstallerIdle, kInstallerDownloading}) {
        gInstallerState = idleOrRunning;
        EXPECT_FALSE(updateDialogTimer(kInstallerPollTimer, 0, 0, &state));
        EXPECT_FALSE(lastDialogClose().requested);
    }
    gInstallerState = kInstallerDownloaded;
    EXPECT_FALSE(updateDialogTimer(kInstallerPollTimer + 1, 0, 0, &state)) << "another timer";
    gInstallerState = kInstallerIdle;
    EXPECT_TRUE(opener.opened.empty());
    image = paintOnce(paintUpdateDialog, state, 480, 500);
    saveRender(*image, "update_dialog");
}

TEST_F(UpdateDialogTest, ClosingDuringADownloadCancelsItAndLeavesNoState) {
    // The stall port accepts and never answers: the download hangs until
    // it is cancelled.
    open("https://127.0.0.1:" + std::to_string(server.stallPort()) + "/setup.exe");
    clickRect(updateDialogMouse, state, state.downloadButton.rect);
    ASSERT_EQ(gInstallerState.load(), kInstallerDownloading);
    image = paintOnce(paintUpdateDialog, state, 480, 500);
    EXPECT_STREQ(state.downloadButton.label, "Downloading...");
    EXPECT_FALSE(state.downloadButton.enabled);
    // Pressing again while it runs starts nothing and asks nothing.
    updateDialogKey(kWmKeyDown, kVkReturn, 0, &state);
    EXPECT_EQ(boxes.shown.size(), 1u);
    updateDialogKey(kWmKeyDown, kVkEscape, 0, &state);
    EXPECT_TRUE(lastDialogClose().requested);
    ASSERT_TRUE(waitForInstallerWorker(10000));
    EXPECT_EQ(gInstallerState.load(), kInstallerIdle);
    EXPECT_TRUE(folderEntries(downloads.path()).empty());
}

TEST_F(UpdateDialogTest, LongNotesScrollWithinBoundsShortOnesDoNot) {
    std::string notes;
    for (int i = 1; i <= 120; ++i)
        notes += "Line " + std::to_string(i) + " of the release notes\r\n";
    open(server.url("/files/x.exe"), notes);
    ASSERT_GT(state.notes.maxScroll, 0);
    const RectF thumb = notesThumb(state.notes);
    EXPECT_GT(thumb.height(), 0);
    EXPECT_GE(thumb.top, state.notes.box.top);
    EXPECT_TRUE(updateDialogMouse(kWmMouseWheel, 100, 200, static_cast<uintptr_t>(static_cast<uint16_t>(-120)) << 16,
                                  &state));
    EXPECT_FLOAT_EQ(state.notes.scroll, 60);
    for (int i = 0; i < 200; ++i)
        updateDialogMouse(kWmMouseWheel, 100, 200, static_cast<uintptr_t>(static_cast<uint16_t>(-120)) << 16, &state);
    EXPECT_FLOAT_EQ(state.notes.scroll, state.notes.maxScroll);
    const RectF bottom = notesThumb(state.notes);
    EXPECT_LE(bottom.bottom, state.notes.box.bottom);
    image = paintOnce(paintUpdateDialog, state, 480, 500);
    saveRender(*image, "update_dialog_scrolled");
    for (int i = 0; i < 200; ++i)
        updateDialogMouse(kWmMouseWheel, 100, 200, static_cast<uintptr_t>(120) << 16, &state);
    EXPECT_FLOAT_EQ(state.notes.scroll, 0);

    open(server.url("/files/x.exe"), "Short.");
    EXPECT_FLOAT_EQ(state.notes.maxScroll, 0);
    EXPECT_EQ(notesThumb(state.notes).height(), 0);
    EXPECT_FALSE(updateDialogMouse(kWmMouseWheel, 100, 200, static_cast<uintptr_t>(static_cast<uint16_t>(-120)) << 16,
                                   &state));
}

TEST_F(UpdateDialogTest, ReleaseNotesShowThePublishedNotesOrSayWhyNot) {
    publishUpdate("", "", "");
    BackendConfig none;
    setBackendConfig(none);
    EXPECT_EQ(releaseNotesText(), "No release notes available.\r\n\r\nNo update server is configured for this build.");
    BackendConfig withServer;
    withServer.updateUrl = "https://updates.example.invalid:8443/qv/version.json";
    setBackendConfig(withServer);
    EXPECT_EQ(releaseNotesText(),
              "No release notes available.\r\n\r\nRelease notes are fetched on startup from updates.example.invalid:8443.");
    publishUpdate("", "", "New: \xC3\xA9t\xC3\xA9 mode.");
    EXPECT_EQ(releaseNotesText(), "New: \xC3\xA9t\xC3\xA9 mode.");
    publishUpdate("", "", "Broken \xFF\xC3 bytes");
    EXPECT_TRUE(isWellFormedUtf8(releaseNotesText()));

    ReleaseNotesState notes;
    initReleaseNotes(notes);
    auto notesImage = paintOnce(paintReleaseNotes, notes, 480, 460);
    saveRender(*notesImage, "release_notes_dialog");
    clickRect(releaseNotesMouse, notes, notes.closeButton.rect);
    EXPECT_TRUE(lastDialogClose().requested);
    resetLastDialogClose();
    releaseNotesKey(kWmKeyDown, kVkReturn, 0, &notes);
    EXPECT_TRUE(lastDialogClose().requested);
}

}  // namespace
}  // namespace qv::test

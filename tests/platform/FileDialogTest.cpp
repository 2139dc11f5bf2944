// The desktop's file dialogs: the portal's FileChooser against a fake portal
// on a private session bus, and zenity / kdialog as fake scripts on PATH.

#include "platform/FileDialog.h"
#include "support/Eventually.h"
#include "support/FakePortal.h"
#include "support/SessionBus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace qv {
namespace {

using test::readFile;

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_had)
            ::setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

FileDialogRequest saveRequest() {
    FileDialogRequest r;
    r.mode = FileDialogMode::kSave;
    r.title = "Export Profile";
    r.filterName = "QV Profile (*.qvprofile)";
    r.filterPattern = "*.qvprofile";
    r.proposedName = "default.qvprofile";
    r.folder = "/home/u/Documents";
    r.parentWindow = "x11:1f";
    return r;
}

FileDialogRequest openRequest() {
    FileDialogRequest r = saveRequest();
    r.mode = FileDialogMode::kOpen;
    r.title = "Import Profile";
    r.proposedName.clear();
    return r;
}

bool keepWaiting(int) { return true; }

class PortalFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.start()) << bus.error();
        env = std::make_unique<ScopedEnv>("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str());
        portal = std::make_unique<test::FakePortal>(bus.address());
    }
    void TearDown() override {
        portal.reset();
        env.reset();
    }
    test::SessionBus bus;
    std::unique_ptr<ScopedEnv> env;
    std::unique_ptr<test::FakePortal> portal;
};

TEST_F(PortalFileDialogTest, SaveSendsTheFilterNameAndFolderAndReturnsTheChosenPath) {
    ASSERT_TRUE(portal->start()) << portal->error();
    portal->answer(0, "file:///tmp/my%20profiles/fast.qvprofile");
    const FileDialogResult result = createPortalFileDialog()->run(saveRequest(), keepWaiting);
    ASSERT_EQ(result.status, FileDialogStatus::kChosen) << result.error;
    EXPECT_EQ(result.path, "/tmp/my profiles/fast.qvprofile");
    EXPECT_TRUE(result.overwriteConfirmed);
    const auto calls = portal->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, "SaveFile");
    EXPECT_EQ(calls[0].parentWindow, "x11:1f");
    EXPECT_EQ(calls[0].title, "Export Profile");
    for (const char* part : {"'current_name': <'default.qvprofile'>", "'modal': <true>",
                             "'filters': <[('QV Profile (*.qvprofile)', [(uint32 0, '*.qvprofile')])]>",
                             "'current_filter': <('QV Profile (*.qvprofile)', [(uint32 0, '*.qvprofile')])>",
                             "'current_folder': <b'/home/u/Documents'>"})
        EXPECT_NE(calls[0].options.find(part), std::string::npos) << part << " in " << calls[0].options;
}

TEST_F(PortalFileDialogTest, OpenReportsCancelAndRefusesWhatIsNotALocalFile) {
    ASSERT_TRUE(portal->start()) << portal->error();
    portal->answer(1, "");
    EXPECT_EQ(createPortalFileDialog()->run(openRequest(), keepWaiting).status, FileDialogStatus::kCancelled);
    EXPECT_EQ(portal->calls().at(0).method, "OpenFile");
    portal->answer(0, "https://example.invalid/x.qvprofile");
    const FileDialogResult remote = createPortalFileDialog()->run(openRequest(), keepWaiting);
    EXPECT_EQ(remote.status, FileDialogStatus::kFailed);
    EXPECT_FALSE(remote.overwriteConfirmed);
}

TEST_F(PortalFileDialogTest, AQuitWhileTheDialogIsOpenClosesTheRequest) {
    ASSERT_TRUE(portal->start()) << portal->error();
    portal->answerNever();
    int waits = 0;
    const FileDialogResult result = createPortalFileDialog()->run(saveRequest(), [&](int) {
        // The program quits once the portal has the request.
        return ++waits < 5 || portal->calls().empty();
    });
    EXPECT_EQ(result.status, FileDialogStatus::kQuit);
    EXPECT_TRUE(test::eventually([&] { return portal->closedRequests() == 1; }));
}

TEST_F(PortalFileDialogTest, WithoutAPortalOrABusItIsUnavailable) {
    EXPECT_EQ(createPortalFileDialog()->run(saveRequest(), keepWaiting).status, FileDialogStatus::kUnavailable);
    ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", nullptr);
    EXPECT_EQ(createPortalFileDialog()->run(saveRequest(), keepWaiting).status, FileDialogStatus::kUnavailable);
}

class HelperFileDialogTest : public ::testing::Test {
protected:
    // A fake helper that writes its arguments one a line, then runs `body`.
    void install(const std::string& program, const std::string& body) {
        const std::string path = dir.file("bin/" + program);
        std::filesystem::create_directories(dir.file("bin"));
        ASSERT_TRUE(test::writeFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file(program + ".args") +
                                              "'\n" + body + "\n"));
        ::chmod(path.c_str(), 0755);
    }
    std::string args(const std::string& program) const { return readFile(dir.file(program + ".args")); }

    test::TempDir dir;
    ScopedEnv path{"PATH", (dir.path() + "bin").c_str()};
    ScopedEnv display{"DISPLAY", ":97"};
};

TEST_F(HelperFileDialogTest, ZenityGetsOneLiteralArgumentPerValueAndItsAnswerIsThePath) {
    install("zenity", "echo /home/u/out.qvprofile");
    FileDialogRequest request = saveRequest();
    request.proposedName = "$(touch " + dir.file("x") + ") `touch " + dir.file("y") + "`; rm -rf z";
    const FileDialogResult result = createHelperProgramFileDialog()->run(request, keepWaiting);
    ASSERT_EQ(result.status, FileDialogStatus::kChosen) << result.error;
    EXPECT_EQ(result.path, "/home/u/out.qvprofile");
    EXPECT_FALSE(result.overwriteConfirmed);
    EXPECT_EQ(args("zenity"),
              "--file-selection\n--title=Export Profile\n--attach=31\n--save\n--filename=/home/u/Documents/" +
                                  request.proposedName +
                                  "\n--file-filter=QV Profile (*.qvprofile) | *.qvprofile\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("y")));
}

TEST_F(HelperFileDialogTest, ExitStatusesAndAnswersMapToResults) {
    struct Case {
        const char* body;
        FileDialogStatus expected;
    } cases[] = {
        {"exit 1", FileDialogStatus::kCancelled},
        {"echo relative/path; exit 0", FileDialogStatus::kFailed},
        {"exit 0", FileDialogStatus::kUnavailable},
        {"exit 255", FileDialogStatus::kUnavailable},
        {"kill -9 $$", FileDialogStatus::kCancelled},
    };
    for (const Case& c : cases) {
        install("zenity", c.body);
        EXPECT_EQ(createHelperProgramFileDialog()->run(openRequest(), keepWaiting).status, c.expected) << c.body;
    }
}

TEST_F(HelperFileDialogTest, KdialogIsTheSecondChoice) {
    install("kdialog", "echo /srv/in.qvprofile");
    const FileDialogResult result = createHelperProgramFileDialog()->run(openRequest(), keepWaiting);
    ASSERT_EQ(result.status, FileDialogStatus::kChosen) << result.error;
    EXPECT_EQ(result.path, "/srv/in.qvprofile");
    EXPECT_EQ(args("kdialog"),
              "--title\nImport Profile\n--attach=31\n--getopenfilename\n/home/u/Documents\n*.qvprofile|QV Profile "
              "(*.qvprofile)\n");
}

TEST_F(HelperFileDialogTest, AQuitEndsTheHelperAtOnce) {
    install("zenity", "exec /bin/sleep 60");
    // The program quits once the helper is surely running (it wrote its arguments).
    const FileDialogResult result = createHelperProgramFileDialog()->run(saveRequest(), [&](int) {
        return !std::filesystem::exists(dir.file("zenity.args"));
    });
    EXPECT_EQ(result.status, FileDialogStatus::kQuit) << result.error;
}

TEST_F(HelperFileDialogTest, NothingRunsWithoutADisplayOrAHelper) {
    EXPECT_EQ(createHelperProgramFileDialog()->run(openRequest(), keepWaiting).status, FileDialogStatus::kUnavailable);
    install("zenity", "echo /x");
    ScopedEnv noDisplay("DISPLAY", nullptr);
    ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_EQ(createHelperProgramFileDialog()->run(openRequest(), keepWaiting).status, FileDialogStatus::kUnavailable);
}

}  // namespace
}  // namespace qv

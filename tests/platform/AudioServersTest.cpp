// Which JACK the audio host reaches, on sockets and folders of the test's
// own: a listening socket answers, a socket file left by a dead server does
// not, and PipeWire is chosen only with its JACK library present. And the
// helper process gets the environment it is given.

#include "platform/AudioServers.h"
#include "platform/HelperProcess.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qv::test {
namespace {

// A Unix socket bound at `path`; listening until closed, or left behind.
class UnixSocket {
public:
    UnixSocket(const std::string& path, bool listening) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_ok = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
               (!listening || ::listen(m_fd, 4) == 0);
        if (!listening) {  // as a killed server leaves it: the file without a listener
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~UnixSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

TEST(AudioServers, AJackServerThatAnswersWinsElsePipeWireWithItsLibrary) {
    TempDir dir;
    AudioServerPlaces places;
    places.jackSocket = dir.file("jack_default_0_0");
    places.pipeWireSocket = dir.file("pipewire-0");
    places.pipeWireJackDir = dir.file("jack");

    EXPECT_EQ(chooseJackRoute(places).kind, JackRoute::Kind::None);
    EXPECT_EQ(chooseJackRoute(places).description, "no JACK or PipeWire server running");

    UnixSocket pipeWire(places.pipeWireSocket, true);
    ASSERT_TRUE(pipeWire.ok());
    JackRoute route = chooseJackRoute(places);
    EXPECT_EQ(route.kind, JackRoute::Kind::None) << "PipeWire without its JACK library";
    EXPECT_NE(route.description.find("pipewire-jack"), std::string::npos) << route.description;

    std::filesystem::create_directories(dir.file("jack"));
    ASSERT_TRUE(writeFile(dir.file("jack/libjack.so.0"), "not loaded here"));
    route = chooseJackRoute(places);
    EXPECT_EQ(route.kind, JackRoute::Kind::PipeWire);
    EXPECT_EQ(route.libraryDir, places.pipeWireJackDir);
    EXPECT_EQ(route.description, "JACK through PipeWire, no JACK server running");

    {
        UnixSocket stale(places.jackSocket, false);
        ASSERT_TRUE(stale.ok());
        EXPECT_EQ(chooseJackRoute(places).kind, JackRoute::Kind::PipeWire) << "a dead server's socket file";
    }
    ::unlink(places.jackSocket.c_str());
    UnixSocket jack(places.jackSocket, true);
    ASSERT_TRUE(jack.ok());
    route = chooseJackRoute(places);
    EXPECT_EQ(route.kind, JackRoute::Kind::JackServer);
    EXPECT_TRUE(route.libraryDir.empty());
}

TEST(AudioServers, TheLibraryFolderGoesFirstOnce) {
    EXPECT_EQ(prependLibraryPath("/pw/jack", ""), "/pw/jack");
    EXPECT_EQ(prependLibraryPath("/pw/jack", "/opt/lib"), "/pw/jack:/opt/lib");
    EXPECT_EQ(prependLibraryPath("/pw/jack", "/pw/jack:/opt/lib"), "/pw/jack:/opt/lib");
    EXPECT_EQ(prependLibraryPath("/pw/jack", "/pw/jackx"), "/pw/jack:/pw/jackx");
}

TEST(AudioServers, AHelperGetsTheEnvironmentItIsGiven) {
    TempDir dir;
    ::setenv("QV_TEST_KEPT", "kept", 1);
    ::setenv("QV_TEST_REPLACED", "old", 1);
    HelperProcess helper;
    const std::string out = dir.file("env.out");
    ASSERT_TRUE(helper.start({"/bin/sh", "-c", "echo \"$QV_TEST_KEPT $QV_TEST_REPLACED $QV_TEST_NEW\" > " + out},
                             {}, {{"QV_TEST_REPLACED", "new"}, {"QV_TEST_NEW", "added"}}))
        << helper.lastError();
    helper.stop(5000);
    EXPECT_EQ(readFile(out), "kept new added\n");
    ::unsetenv("QV_TEST_KEPT");
    ::unsetenv("QV_TEST_REPLACED");
}

}  // namespace
}  // namespace qv::test

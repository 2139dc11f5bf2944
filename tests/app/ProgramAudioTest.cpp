// The quorvane program lists the audio devices at start-up: with a private
// JACK server running, its device table shows the server's "system" device.

#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/JackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>

namespace qv::test {
namespace {

TEST(ProgramAudioTest, PrintsTheDeviceTableAtStartUp) {
    JackServer server;
    ASSERT_TRUE(server.start()) << server.lastError();
    TempDir home;
    ChildProcess program;
    ASSERT_TRUE(program.start({QV_QUORVANE_PATH},
                              {{"XDG_CONFIG_HOME", home.path() + "config"}, {"HOME", home.path()},
                               {"QUORVANE_SHM_DIR", home.path() + "shm"}, {"JACK_DEFAULT_SERVER", server.name()}},
                              home.file("out.txt")));
    ASSERT_TRUE(program.waitForOutput("Waiting for", 60000)) << program.output() << program.errors();
    const std::regex row(R"(\n  \d+ +system +JACK +8 +yes\n)");
    ASSERT_TRUE(eventually([&] { return std::regex_search(program.output(), row); }))
        << program.output() << program.errors();
    const std::string out = program.output();
    // The heading says which JACK the audio host reaches.
    EXPECT_NE(out.find("\n  Physical audio devices (JACK through the running JACK server):\n"), std::string::npos) << out;
    EXPECT_LT(out.find("Physical audio devices"), out.find("Waiting for")) << "listed before the simulator wait";
    program.signal(SIGINT);
    ASSERT_TRUE(program.wait(20000));
    EXPECT_EQ(program.exitCode(), 0);
    // The audio libraries' probing messages stay off the console.
    EXPECT_EQ(program.errors().find("ALSA lib"), std::string::npos) << program.errors();
    EXPECT_EQ(program.errors().find("Cannot connect"), std::string::npos) << program.errors();
}

}  // namespace
}  // namespace qv::test

// Xlib's error handling on a private Xvfb: a request for a window that does
// not exist is logged once per kind and the program goes on; a watched
// connection whose server ends calls its owner instead of ending the process.

#include "platform/Output.h"
#include "platform/X11Errors.h"
#include "support/XvfbServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>

// Last: Xlib's macros (None, Status) clash with names of the headers above.
#include <X11/Xlib.h>

namespace qv::test {
namespace {

TEST(X11ErrorsTest, ProtocolErrorsAreLoggedOncePerKindAndALostServerEndsNothing) {
    XvfbServer server;
    ASSERT_TRUE(server.start()) << server.error();
    Display* display = XOpenDisplay(server.display().c_str());
    ASSERT_NE(display, nullptr);
    std::atomic<int> lost{0};
    watchX11Connection(display, [](void* count) { ++*static_cast<std::atomic<int>*>(count); }, &lost);

    std::mutex mutex;
    std::string errors;
    {
        OutputCapture capture([&](OutputStream stream, std::string_view text) {
            std::lock_guard lock(mutex);
            if (stream == OutputStream::StandardError)
                errors.append(text);
        });
        const uint64_t before = x11ProtocolErrorCount();
        // What a raise or a move sent just after its window closed meets.
        for (int i = 0; i < 3; ++i)
            XDestroyWindow(display, 0x3fffff0 + i);
        XMapWindow(display, 0x3fffff0);
        XSync(display, False);  // Xlib's own handler would end the process here
        EXPECT_EQ(x11ProtocolErrorCount(), before + 4);

        server.stop();
        XSync(display, False);
        EXPECT_EQ(lost.load(), 1);
        XSync(display, False);  // a failed connection stays failed, quietly
        outputFlush(2000);
    }
    size_t destroys = 0;
    for (size_t at = errors.find("X_DestroyWindow"); at != std::string::npos; at = errors.find("X_DestroyWindow", at + 1))
        ++destroys;
    EXPECT_EQ(destroys, 1u) << errors;
    EXPECT_NE(errors.find("BadWindow"), std::string::npos) << errors;
    EXPECT_NE(errors.find("X_MapWindow"), std::string::npos) << errors;
    unwatchX11Connection(display);
    XCloseDisplay(display);
}

}  // namespace
}  // namespace qv::test

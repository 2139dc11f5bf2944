// The window layer on SDL's dummy video driver: timers, posting, disabled
// windows, painting retries and the message loops.

#include "support/WindowFixture.h"

#include <chrono>
#include <thread>
#include <vector>

namespace qv {
namespace {

struct Log {
    std::vector<std::pair<uint32_t, uintptr_t>> messages;
    int paints = 0;
    bool paintOk = true;
    bool lastWhole = false;  // what beginWindowPaint said of the last paint
    static intptr_t proc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t, void* user) {
        auto& log = *static_cast<Log*>(user);
        if (message == kWmPaint) {
            ++log.paints;
            if (DrawContext* context = beginWindowPaint(w, &log.lastWhole)) {
                context->clear(rgb(1, 2, 3));
                log.paintOk = endWindowPaint(w);
            }
            return 0;
        }
        if (message != kWmSize && message != kWmActivate && message != kWmDisplayChanged)
            log.messages.emplace_back(message, wParam);
        return 0;
    }
    int count(uint32_t message) const {
        int n = 0;
        for (auto& m : messages)
            n += m.first == message;
        return n;
    }
};

class WindowLayerTest : public test::WindowFixture {
protected:
    WindowHandle make(Log& log) { return makeWindow(200, 100, Log::proc, &log); }
    Log logs[2];  // outlive the windows, which the fixture destroys
};

TEST_F(WindowLayerTest, ABusyGuiThreadGetsEachDueTimerOnceNotAPile) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    ASSERT_TRUE(setWindowTimer(w, 7, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));  // about 12 periods missed
    pumpMessages(0);
    EXPECT_EQ(log.count(kWmTimer), 1);
    ASSERT_TRUE(pumpUntil([&] { return log.count(kWmTimer) >= 3; }));
    killWindowTimer(w, 7);
    const int fired = log.count(kWmTimer);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    pumpMessages(0);
    EXPECT_EQ(log.count(kWmTimer), fired);
    EXPECT_FALSE(hasWindowTimer(w, 7));
}

TEST_F(WindowLayerTest, ADisabledWindowDropsInputAndCloseButGetsPostsAndTimers) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    enableWindow(w, false);
    pushClick(w, 5, 5);
    pushKey(w, SDLK_a);
    pushText(w, "a");
    pushWheel(w, 1, 5, 5);
    pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
    postWindowMessage(w, kWmApp + 5, 0, 0);
    setWindowTimer(w, 1, 1);
    ASSERT_TRUE(pumpUntil([&] { return log.count(kWmApp + 5) == 1 && log.count(kWmTimer) >= 1; }));
    EXPECT_EQ(log.count(kWmLButtonDown), 0);
    EXPECT_EQ(log.count(kWmLButtonUp), 0);
    EXPECT_EQ(log.count(kWmKeyDown), 0);
    EXPECT_EQ(log.count(kWmChar), 0);
    EXPECT_EQ(log.count(kWmMouseWheel), 0);
    EXPECT_EQ(log.count(kWmClose), 0);
    EXPECT_TRUE(isWindow(w));
    enableWindow(w, true);
    pushWindowEvent(w, SDL_WINDOWEVENT_CLOSE);
    // No handler took the close: the window is destroyed.
    ASSERT_TRUE(pumpUntil([&] { return !isWindow(w); }));
    EXPECT_EQ(log.count(kWmClose), 1);
}

TEST_F(WindowLayerTest, ControlKeysNeverArriveAsCharactersAndWheelNotchesAre120) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    pushText(w, "\b\t\r\x1b" "x\x7f");
    pushWheel(w, 2.0f, 1, 1);
    pushWheel(w, 0.5f, 1, 1);
    ASSERT_TRUE(pumpUntil([&] { return log.count(kWmMouseWheel) == 2; }));
    std::vector<uintptr_t> chars, deltas;
    for (auto& [message, wParam] : log.messages) {
        if (message == kWmChar)
            chars.push_back(wParam);
        if (message == kWmMouseWheel)
            deltas.push_back(static_cast<uintptr_t>(wheelDelta(wParam)));
    }
    EXPECT_EQ(chars, std::vector<uintptr_t>{'x'});
    EXPECT_EQ(deltas, (std::vector<uintptr_t>{240, 60}));
}

// Typed text is the window system's, so untrusted: every ill-formed UTF-8
// sequence becomes one U+FFFD and what follows it is still read.
TEST_F(WindowLayerTest, TypedTextIsDecodedAsStrictUtf8WithEachBadSequenceReplaced) {
    constexpr uintptr_t kBad = 0xFFFD;
    const struct {
        const char* name;
        const char* text;
        std::vector<uintptr_t> chars;
    } cases[] = {
        {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", {0xE9, 0x20AC, 0x1F3B5}},
        {"a lead byte 0xF8 to 0xFF starts nothing", "\xF8\x80\x80" "a\xFF" "b", {kBad, kBad, kBad, 'a', kBad, 'b'}},
        {"surrogates", "\xED\xA0\x80" "c", {kBad, kBad, kBad, 'c'}},
        {"overlong forms", "\xC0\xAF\xE0\x80\xAF\xF0\x80\x80\xAF" "d",
         {kBad, kBad, kBad, kBad, kBad, kBad, kBad, kBad, kBad, 'd'}},
        {"above U+10FFFF", "\xF4\x90\x80\x80" "e", {kBad, kBad, kBad, kBad, 'e'}},
        {"a sequence cut short by the next character", "\xE2\x82" "f", {kBad, 'f'}},
        {"a sequence cut short by the end", "g\xF0\x9F\x8E", {'g', kBad}},
        {"a stray continuation byte", "\x80h", {kBad, 'h'}},
    };
    for (const auto& c : cases) {
        Log log;
        WindowHandle w = make(log);
        pushText(w, c.text);
        pushText(w, "!");  // the end of this case's characters
        ASSERT_TRUE(pumpUntil([&] { return !log.messages.empty() && log.messages.back().second == '!'; }))
            << c.name;
        std::vector<uintptr_t> chars;
        for (auto& [message, wParam] : log.messages)
            if (message == kWmChar && wParam != '!')
                chars.push_back(wParam);
        EXPECT_EQ(chars, c.chars) << c.name;
        destroyWindow(w);
    }
}

// A handler of kWmDestroy that destroys its window again (through a path
// that does not know it is already going) must not free the record under
// the outer call.
TEST_F(WindowLayerTest, DestroyingAWindowFromItsOwnDestroyMessageDoesNothingMore) {
    struct Again {
        int destroys = 0;
        static intptr_t proc(WindowHandle w, uint32_t message, uintptr_t, intptr_t, void* user) {
            auto& again = *static_cast<Again*>(user);
            if (message == kWmDestroy && ++again.destroys == 1)
                destroyWindow(w);
            return 0;
        }
    } again;
    WindowHandle w = makeWindow(100, 100, Again::proc, &again);
    ASSERT_NE(w, nullptr);
    destroyWindow(w);
    EXPECT_EQ(again.destroys, 1);
    EXPECT_FALSE(isWindow(w));
    Log& log = logs[0];
    WindowHandle next = make(log);
    pushText(next, "z");
    EXPECT_TRUE(pumpUntil([&] { return log.count(kWmChar) == 1; }));
}

TEST_F(WindowLayerTest, InvalidWindowsArePaintedOncePerPassAndUpdateWindowPaintsNow) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    ASSERT_TRUE(pumpUntil([&] { return log.paints >= 1; }));
    const int first = log.paints;
    invalidateWindow(w);
    invalidateWindow(w);
    pumpMessages(0);
    EXPECT_EQ(log.paints, first + 1);
    invalidateWindow(w);
    updateWindow(w);
    EXPECT_EQ(log.paints, first + 2);
    updateWindow(w);  // valid: nothing
    EXPECT_EQ(log.paints, first + 2);
    EXPECT_TRUE(log.paintOk);
}

TEST_F(WindowLayerTest, APaintRequestKeepsTheLastFrameAndInvalidatingOrLosingTheTargetDrawsItWhole) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    ASSERT_TRUE(pumpUntil([&] { return log.paints >= 1; }));
    EXPECT_TRUE(log.lastWhole);  // the first frame
    requestWindowPaint(w);
    updateWindow(w);
    EXPECT_FALSE(log.lastWhole);
    invalidateWindow(w);
    requestWindowPaint(w);
    updateWindow(w);
    EXPECT_TRUE(log.lastWhole);
    loseWindowTarget(w);
    const int before = log.paints;
    ASSERT_TRUE(pumpUntil([&] { return log.paints > before; }));
    EXPECT_TRUE(log.lastWhole);
    requestWindowPaint(w);
    updateWindow(w);
    EXPECT_FALSE(log.lastWhole);
}

TEST_F(WindowLayerTest, ALostTargetIsMadeAgainAtTheNextPaint) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    ASSERT_TRUE(pumpUntil([&] { return log.paints >= 1; }));
    for (int i = 0; i < 3; ++i) {
        loseWindowTarget(w);
        EXPECT_FALSE(hasWindowTarget(w));
        const int before = log.paints;
        ASSERT_TRUE(pumpUntil([&] { return log.paints > before; }));  // a lost target asks for a paint
        EXPECT_TRUE(hasWindowTarget(w));
        EXPECT_TRUE(log.paintOk);
    }
}

TEST_F(WindowLayerTest, AQuitEndsNestedLoopsAndStaysPostedForTheOuterOnes) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    bool innerDone = false, outerDone = false;
    bool innerResult = true;
    setWindowTimer(w, 1, 5);
    postWindowMessage(w, kWmApp + 9, 0, 0);
    // The inner loop runs inside the outer one's dispatch, like a dialog.
    static bool* resultSlot;
    static bool* doneSlot;
    resultSlot = &innerResult;
    doneSlot = &innerDone;
    WindowOptions options;
    options.proc = [](WindowHandle, uint32_t message, uintptr_t, intptr_t, void*) -> intptr_t {
        if (message == kWmApp + 9) {
            postQuitMessage();
            *resultSlot = runMessageLoopUntil(*doneSlot);
        }
        return 0;
    };
    WindowHandle nested = createWindow(options);
    postWindowMessage(nested, kWmApp + 9, 0, 0);
    EXPECT_FALSE(runMessageLoopUntil(outerDone));
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(isQuitPosted());
    EXPECT_FALSE(pumpMessages(0));
    clearQuitMessage();
    EXPECT_TRUE(pumpMessages(0));
    (void)w;
}

TEST_F(WindowLayerTest, AMessageThatOpensANestedLoopLeavesTheLaterPostsToThatLoop) {
    // A dialog opened by one posted message must still get the messages
    // posted after it (here the quit that ends it), not leave them waiting
    // behind its own loop.
    static bool* doneSlot;
    static int* seenSlot;
    bool done = false;
    int seen = 0;
    doneSlot = &done;
    seenSlot = &seen;
    WindowOptions options;
    options.proc = [](WindowHandle, uint32_t message, uintptr_t, intptr_t, void*) -> intptr_t {
        if (message == kWmApp + 1)
            runMessageLoopUntil(*doneSlot);
        else if (message == kWmApp + 2)
            ++*seenSlot, *doneSlot = true;
        return 0;
    };
    WindowHandle w = createWindow(options);
    ASSERT_NE(w, nullptr);
    postWindowMessage(w, kWmApp + 1, 0, 0);
    postWindowMessage(w, kWmApp + 2, 0, 0);
    EXPECT_TRUE(pumpMessages(0));
    EXPECT_TRUE(done);
    EXPECT_EQ(seen, 1);
}

TEST_F(WindowLayerTest, CaptureSendsMouseMessagesToTheCapturingWindowAndALostHoldEnds) {
    Log& a = logs[0];
    Log& b = logs[1];
    WindowHandle wa = make(a);
    WindowHandle wb = make(b);
    pushMouseButton(wa, true, 10, 10);
    ASSERT_TRUE(pumpUntil([&] { return a.count(kWmLButtonDown) == 1; }));
    setMouseCapture(wa);
    pushMotion(wb, 3, 3);
    ASSERT_TRUE(pumpUntil([&] { return a.count(kWmMouseMove) == 1; }));
    EXPECT_EQ(b.count(kWmMouseMove), 0);
    releaseMouseCapture();
    // Hidden while held: the window gets its button-up all the same.
    showWindow(wa, ShowCommand::Hide);
    EXPECT_EQ(a.count(kWmLButtonUp), 1);
}

// One input event of a double-click case, at a time in milliseconds from the
// start of the case. `clicks` is what SDL would number the press.
struct ClickStep {
    enum Kind { Press, Release, Move, RightPress, Leave, Enter } kind;
    int x = 0, y = 0;
    uint32_t atMs = 0;
    int clicks = 1;
};

void pushStep(WindowHandle w, const ClickStep& step, uint32_t startMs) {
    SDL_Event e{};
    const uint32_t id = windowSystemId(w);
    switch (step.kind) {
    case ClickStep::Press:
    case ClickStep::Release:
    case ClickStep::RightPress:
        e.type = step.kind == ClickStep::Release ? SDL_MOUSEBUTTONUP : SDL_MOUSEBUTTONDOWN;
        e.button.windowID = id;
        e.button.button = step.kind == ClickStep::RightPress ? SDL_BUTTON_RIGHT : SDL_BUTTON_LEFT;
        e.button.state = e.type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = static_cast<uint8_t>(step.clicks);
        e.button.x = step.x;
        e.button.y = step.y;
        break;
    case ClickStep::Move:
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = id;
        e.motion.x = step.x;
        e.motion.y = step.y;
        break;
    case ClickStep::Leave:
    case ClickStep::Enter:
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = step.kind == ClickStep::Leave ? SDL_WINDOWEVENT_LEAVE : SDL_WINDOWEVENT_ENTER;
        break;
    }
    // Queued as the display server's events are, with their own time stamp
    // (SDL_PushEvent would stamp them with the time of the push).
    e.common.timestamp = startMs + step.atMs;
    SDL_PeepEvents(&e, 1, SDL_ADDEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

TEST_F(WindowLayerTest, ADoubleClickIsTwoPressesInPlaceInTimeWithNoDragOrLeaveBetween) {
    using S = ClickStep;
    struct Case {
        const char* name;
        std::vector<ClickStep> steps;
        std::vector<uint32_t> presses;  // what the window gets for each left press
    };
    constexpr uint32_t D = kWmLButtonDown, DD = kWmLButtonDblClk;
    const Case cases[] = {
        {"two presses in place", {{S::Press, 50, 50}, {S::Release, 50, 50, 40}, {S::Press, 51, 49, 120, 2}},
         {D, DD}},
        {"a third press starts anew",
         {{S::Press, 50, 50}, {S::Press, 50, 50, 100, 2}, {S::Press, 50, 50, 200, 3}, {S::Press, 50, 50, 300, 4}},
         {D, DD, D, DD}},
        // SDL numbers the drag's press as the first of the series.
        {"a double click right after a drag",
         {{S::Press, 50, 60},
          {S::Move, 50, 52, 30},
          {S::Move, 50, 40, 60},
          {S::Release, 50, 40, 90},
          {S::Press, 50, 40, 150, 2},
          {S::Release, 50, 40, 180, 2},
          {S::Press, 50, 40, 250, 3}},
         {D, D, DD}},
        {"a double click after the pointer left and came back",
         {{S::Press, 50, 50},
          {S::Release, 50, 50, 30},
          {S::Leave, 0, 0, 60},
          {S::Enter, 0, 0, 90},
          {S::Press, 50, 50, 150, 2},
          {S::Press, 50, 50, 250, 3}},
         {D, D, DD}},
        {"a press that moved a little is no drag",
         {{S::Press, 50, 50}, {S::Move, 52, 51, 20}, {S::Release, 52, 51, 40}, {S::Press, 51, 50, 100, 2}},
         {D, DD}},
        {"presses too far apart", {{S::Press, 50, 50}, {S::Press, 56, 50, 100, 2}}, {D, D}},
        {"presses too late", {{S::Press, 50, 50}, {S::Press, 50, 50, 501, 1}, {S::Press, 50, 50, 1000, 2}},
         {D, D, DD}},
        {"another button between", {{S::Press, 50, 50}, {S::RightPress, 50, 50, 50}, {S::Press, 50, 50, 100}},
         {D, D}},
    };
    SDL_SetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME, "500");
    for (const Case& c : cases) {
        Log log;
        WindowHandle w = make(log);
        const uint32_t start = SDL_GetTicks() + 10'000;  // clear of every earlier press
        for (const ClickStep& step : c.steps)
            pushStep(w, step, start);
        const size_t expected = c.presses.size();
        ASSERT_TRUE(pumpUntil(
            [&] { return static_cast<size_t>(log.count(kWmLButtonDown) + log.count(kWmLButtonDblClk)) == expected; }))
            << c.name;
        pumpMessages(0);
        std::vector<uint32_t> presses;
        for (const auto& m : log.messages)
            if (m.first == kWmLButtonDown || m.first == kWmLButtonDblClk)
                presses.push_back(m.first);
        EXPECT_EQ(presses, c.presses) << c.name;
        destroyWindow(w);
    }
    SDL_ResetHint(SDL_HINT_MOUSE_DOUBLE_CLICK_TIME);
}

TEST_F(WindowLayerTest, DisablingAWindowReleasesItsCaptureAndADisabledWindowTakesNone) {
    Log& log = logs[0];
    WindowHandle w = make(log);
    setMouseCapture(w);
    ASSERT_EQ(mouseCaptureWindow(), w);
    enableWindow(w, false);  // a modal dialog opens over it
    EXPECT_EQ(mouseCaptureWindow(), nullptr);
    setMouseCapture(w);
    EXPECT_EQ(mouseCaptureWindow(), nullptr);
    enableWindow(w, true);
    const uint64_t loops = messageLoopsRun();
    pumpMessages(0);
    EXPECT_EQ(messageLoopsRun(), loops + 1);
}

TEST_F(WindowLayerTest, AHandleIsNeverGivenToALaterWindowNorAreItsMessages) {
    Log& first = logs[0];
    Log& second = logs[1];
    WindowHandle gone = make(first);
    ASSERT_TRUE(postWindowMessage(gone, kWmApp + 9, 0, 0));
    destroyWindow(gone);
    // The allocator may hand the freed record's memory to the next window.
    WindowHandle next = make(second);
    EXPECT_NE(next, gone);
    EXPECT_FALSE(isWindow(gone));
    EXPECT_FALSE(postWindowMessage(gone, kWmApp + 9, 0, 0));
    pumpMessages(0);
    pumpMessages(0);
    EXPECT_EQ(second.count(kWmApp + 9), 0);
}

TEST(WindowLayerWithoutSystem, NothingIsMadeAndNothingCrashes) {
    WindowOptions options;
    EXPECT_EQ(createWindow(options), nullptr);
    EXPECT_FALSE(lastWindowError().empty());
    EXPECT_FALSE(isWindow(nullptr));
    EXPECT_FALSE(postWindowMessage(reinterpret_cast<WindowHandle>(0x1234), kWmApp, 0, 0));
    destroyWindow(nullptr);
    invalidateWindow(nullptr);
    EXPECT_EQ(beginWindowPaint(nullptr), nullptr);
}

}  // namespace
}  // namespace qv

#pragma once
// Runs one library call that may never return on a helper thread and waits
// for it a bounded time.
//
// With the JACK server gone (killed, or crashed) PortAudio's stop, abort,
// close and terminate calls block for minutes; with the server paused, so do
// initialise and open. The engine makes those calls through a TimedCall so
// that recovery and shutdown always finish: a call that has not returned in
// time is abandoned, its thread left behind (detached) to finish whenever it
// can. The call's work and everything it touches must therefore stay valid
// for the life of the process, or at least until finished() is true.

#include <functional>
#include <memory>

namespace qv {

class TimedCall {
public:
    // Starts work on a helper thread (inline when no thread can be created).
    explicit TimedCall(std::function<int()> work);
    ~TimedCall();
    TimedCall(const TimedCall&) = delete;
    TimedCall& operator=(const TimedCall&) = delete;

    // Waits up to timeoutMs of real time; true when the work has returned.
    bool waitFor(int timeoutMs);
    bool finished() const;
    // The work's result; meaningful once finished() is true.
    int result() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace qv

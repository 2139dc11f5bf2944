#include "audio/TimedCall.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

struct TimedCall::State {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int result = 0;
};

TimedCall::TimedCall(std::function<int()> work) : m_state(std::make_shared<State>()) {
    auto body = [state = m_state, work = std::move(work)] {
        const int result = work();
        std::lock_guard<std::mutex> lock(state->mutex);
        state->result = result;
        state->finished = true;
        state->done.notify_all();
    };
    try {
        std::thread(body).detach();
    } catch (const std::system_error&) {
        body();
    }
}

TimedCall::~TimedCall() = default;

bool TimedCall::waitFor(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->done.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                  [this] { return m_state->finished; });
}

bool TimedCall::finished() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->finished;
}

int TimedCall::result() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->result;
}

}  // namespace qv

#pragma once
// "watchdog.log": a plain-text log of the main thread and the audio recovery.
// Every line is "[HH:MM:SS.mmm] text", flushed at once. Thread-safe; a log
// that could not be opened drops its lines silently.

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace qv {

class WatchdogLog {
public:
    WatchdogLog() = default;
    ~WatchdogLog();
    WatchdogLog(const WatchdogLog&) = delete;
    WatchdogLog& operator=(const WatchdogLog&) = delete;

    // Truncates and opens the file; false, with `error` naming the cause, when
    // it cannot be opened or is not a regular file (a pipe there is refused
    // at once, never waited on).
    bool open(const std::string& path, std::string* error = nullptr);
    bool isOpen() const;
    void write(std::string_view text);
    void close();

    // "[HH:MM:SS.mmm] " for the given time of day.
    static std::string stamp(int hour, int minute, int second, int millisecond);

private:
    mutable std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};

}  // namespace qv

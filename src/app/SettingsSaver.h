#pragma once
// Saves the settings block on a thread of its own, so the 120 Hz loop never
// waits for a disk. The main thread decides when (coalescing edits to about
// one save a second); the saver snapshots gSettings when the save starts, so
// it always writes the newest block.
//
// A save that fails (a full disk, a folder made read-only) keeps the block
// unsaved: the saver tries again by itself after a back-off that grows from
// one second to a few, until a save succeeds, and says once that it did. The
// first failure is printed, later ones only when their reason changes.

#include "app/AppServices.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qv {

class SettingsSaver {
public:
    struct Options {
        int firstRetryMs = 1000;  // the wait after the first failed save
        int longestRetryMs = 5000;  // the back-off doubles up to this
    };

    explicit SettingsSaver(ISettingsStore* store);
    SettingsSaver(ISettingsStore* store, Options options);
    ~SettingsSaver();
    SettingsSaver(const SettingsSaver&) = delete;
    SettingsSaver& operator=(const SettingsSaver&) = delete;

    // Asks for a save; returns at once. Requests made while a save runs
    // cause exactly one more save. While saves fail, a request waits for the
    // next retry.
    void requestSave();
    // Waits for requested saves to finish (tests, shutdown); a retry that is
    // only scheduled is not waited for.
    void waitIdle();
    // Stops the thread after pending saves, then saves once more on the
    // calling thread. Returns that save's result.
    bool stopAndSave();

    int savesDone() const;
    int failures() const;
    // True while the last save failed and a retry is scheduled.
    bool isRetrying() const;

private:
    void run();
    // One save and its report; called with m_mutex not held.
    bool saveOnce();
    // Books the result of a save; called with m_mutex held.
    void record(bool ok);

    ISettingsStore* m_store;
    Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_pending = false;
    bool m_saving = false;
    bool m_stopping = false;
    int m_saves = 0;
    int m_failures = 0;
    // The run of failed saves: how many, what the last one said, when the
    // next try is due and the back-off after it.
    int m_failedInARow = 0;
    std::string m_lastFailure;
    std::chrono::steady_clock::time_point m_retryAt;
    int m_retryMs = 0;
    std::thread m_thread;
};

}  // namespace qv

#pragma once
// Saves the settings block on a thread of its own, so the 120 Hz loop never
// waits for a disk. The main thread decides when (coalescing edits to about
// one save a second); the saver snapshots gSettings when the save starts, so
// it always writes the newest block.

#include "app/AppServices.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace qv {

class SettingsSaver {
public:
    explicit SettingsSaver(ISettingsStore* store);
    ~SettingsSaver();
    SettingsSaver(const SettingsSaver&) = delete;
    SettingsSaver& operator=(const SettingsSaver&) = delete;

    // Asks for a save; returns at once. Requests made while a save runs
    // cause exactly one more save.
    void requestSave();
    // Waits for requested saves to finish (tests, shutdown).
    void waitIdle();
    // Stops the thread after pending saves, then saves once more on the
    // calling thread. Returns that save's result.
    bool stopAndSave();

    int savesDone() const;
    int failures() const;

private:
    void run();

    ISettingsStore* m_store;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_pending = false;
    bool m_saving = false;
    bool m_stopping = false;
    int m_saves = 0;
    int m_failures = 0;
    std::thread m_thread;
};

}  // namespace qv

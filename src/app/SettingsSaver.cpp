#include "app/SettingsSaver.h"

#include "platform/Output.h"
#include "platform/PrintableText.h"
#include "settings/LiveSettings.h"

#include <algorithm>

namespace qv {

SettingsSaver::SettingsSaver(ISettingsStore* store) : SettingsSaver(store, Options{}) {}

SettingsSaver::SettingsSaver(ISettingsStore* store, Options options) : m_store(store), m_options(options) {
    if (m_store)
        m_thread = std::thread([this] { run(); });
}

SettingsSaver::~SettingsSaver() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SettingsSaver::requestSave() {
    if (!m_store)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = true;
    }
    m_wake.notify_one();
}

void SettingsSaver::waitIdle() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return (!m_pending && !m_saving) || !m_thread.joinable(); });
}

bool SettingsSaver::stopAndSave() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    if (!m_store)
        return true;
    const bool ok = saveOnce();
    std::lock_guard<std::mutex> lock(m_mutex);
    record(ok);
    return ok;
}

int SettingsSaver::savesDone() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_saves;
}

int SettingsSaver::failures() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

bool SettingsSaver::isRetrying() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failedInARow > 0;
}

bool SettingsSaver::saveOnce() {
    const bool ok = m_store->saveAll(gSettings.snapshot());
    const std::string why = ok ? std::string() : m_store->lastError();
    int failedBefore = 0;
    bool sameReason = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        failedBefore = m_failedInARow;
        sameReason = failedBefore > 0 && why == m_lastFailure;
        if (!ok)
            m_lastFailure = why;
    }
    if (!ok && !sameReason)
        errPrint("ERROR: saving the settings failed: %s; trying again every few seconds\n",
                 printableText(why).c_str());
    if (ok && failedBefore > 0)
        outPrint("  The settings are saved now, after %d failed attempt%s.\n", failedBefore,
                 failedBefore == 1 ? "" : "s");
    return ok;
}

void SettingsSaver::record(bool ok) {
    ++m_saves;
    if (ok) {
        m_failedInARow = 0;
        m_lastFailure.clear();
        return;
    }
    ++m_failures;
    ++m_failedInARow;
    m_retryMs = m_failedInARow == 1 ? m_options.firstRetryMs : std::min(m_retryMs * 2, m_options.longestRetryMs);
    m_retryAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_retryMs);
}

void SettingsSaver::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_failedInARow > 0) {
            // The block is still unsaved: the next try comes at its time,
            // whether or not an edit asked for one meanwhile.
            m_wake.wait_until(lock, m_retryAt, [this] { return m_stopping; });
        } else {
            m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        }
        // At a stop, the final save on the stopping thread covers a block
        // that is still unsaved.
        if (m_stopping && !m_pending)
            break;
        m_pending = false;
        m_saving = true;
        lock.unlock();
        const bool ok = saveOnce();
        lock.lock();
        m_saving = false;
        record(ok);
        if (!m_pending)
            m_idle.notify_all();
    }
    m_idle.notify_all();
}

}  // namespace qv

#include "app/SettingsSaver.h"

#include "platform/Output.h"
#include "platform/PrintableText.h"
#include "settings/LiveSettings.h"

namespace qv {

SettingsSaver::SettingsSaver(ISettingsStore* store) : m_store(store) {
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
    const bool ok = m_store->saveAll(gSettings.snapshot());
    if (!ok)
        errPrint("ERROR: saving the settings failed: %s\n", printableText(m_store->lastError()).c_str());
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_saves;
    if (!ok)
        ++m_failures;
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

void SettingsSaver::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending && m_stopping)
            break;
        m_pending = false;
        m_saving = true;
        lock.unlock();
        const bool ok = m_store->saveAll(gSettings.snapshot());
        if (!ok)
            errPrint("ERROR: saving the settings failed: %s\n", printableText(m_store->lastError()).c_str());
        lock.lock();
        m_saving = false;
        ++m_saves;
        if (!ok)
            ++m_failures;
        if (!m_pending)
            m_idle.notify_all();
    }
    m_idle.notify_all();
}

}  // namespace qv

#pragma once
// The single live settings block shared by every thread.
//
// Writers (the GUI thread, the audio initialisation) change fields through
// edit(), which serialises writers with a mutex, applies the change to the
// master copy and publishes the whole block through a sequence lock; then the
// caller raises the dirty flag (edit() does it for them). Readers take whole
// copies: snapshot() spins briefly while a write is in flight, trySnapshot()
// never waits and is what the audio callback uses. No reader ever sees a block
// torn across a single edit, and the block is never read field by field while
// another thread writes it.

#include "platform/SeqLock.h"
#include "settings/HapticSettings.h"

#include <atomic>
#include <mutex>

namespace qv {

class LiveSettings {
public:
    LiveSettings() = default;

    // A consistent copy of the whole block. Any thread but the audio callback.
    HapticSettings snapshot() const { return m_published.load(); }

    // Never waits: on a concurrent write it leaves `out` as it was and
    // returns false. Real-time safe.
    bool trySnapshot(HapticSettings& out) const { return m_published.tryLoad(out); }

    // Applies `change` to the block, publishes it and raises the dirty flag.
    // `change` is called with the writer mutex held; it must not call back
    // into this object.
    template <typename Fn>
    void edit(Fn&& change, bool markDirty = true) {
        {
            std::lock_guard<std::mutex> guard(m_writerMutex);
            change(m_master);
            m_published.store(m_master);
        }
        if (markDirty)
            m_dirty.exchange(1);
    }

    // Replaces the whole block (loading from files) without raising the flag.
    void replace(const HapticSettings& value) {
        edit([&](HapticSettings& s) { s = value; }, false);
    }

    // Dirty flag: raised by writers, consumed by the main thread.
    void markDirty() { m_dirty.exchange(1); }
    bool takeDirty() { return m_dirty.exchange(0) != 0; }
    bool isDirty() const { return m_dirty.load() != 0; }

    // Incremented by every edit; lets readers skip unchanged blocks.
    uint32_t version() const { return m_published.version(); }

private:
    mutable std::mutex m_writerMutex;
    HapticSettings m_master;
    SeqLock<HapticSettings> m_published{HapticSettings()};
    std::atomic<int32_t> m_dirty{0};
};

// The live block of the process.
extern LiveSettings gSettings;

}  // namespace qv

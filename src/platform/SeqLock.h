#pragma once
// A sequence lock for handing a trivially copyable record (settings block,
// haptic frame) from one writer thread to any number of readers.
//
// Readers never block a writer and never take a lock: they copy the record
// word by word with relaxed atomic loads and retry when a write overlapped the
// copy. tryLoad() gives up after a bounded number of attempts, which is what
// real-time code (the audio callback) uses: on failure it keeps its previous
// copy. Writers must be serialised by the caller (a single thread, or a mutex
// that readers never touch).

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qv {

template <typename T>
class SeqLock {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr size_t kWords = (sizeof(T) + sizeof(uint64_t) - 1) / sizeof(uint64_t);

public:
    SeqLock() { store(T{}); }
    explicit SeqLock(const T& initial) { store(initial); }
    SeqLock(const SeqLock&) = delete;
    SeqLock& operator=(const SeqLock&) = delete;

    // Writer side. Callers serialise writers among themselves.
    void store(const T& value) {
        uint64_t buffer[kWords] = {};
        std::memcpy(buffer, &value, sizeof(T));
        // Word stores are releases, so a reader that sees any new word also
        // sees the odd sequence stored before it (no fences: they are also
        // invisible to ThreadSanitizer). On x86 these are plain moves.
        const uint32_t seq = m_sequence.load(std::memory_order_relaxed);
        m_sequence.store(seq + 1, std::memory_order_relaxed);
        for (size_t i = 0; i < kWords; ++i)
            m_words[i].store(buffer[i], std::memory_order_release);
        m_sequence.store(seq + 2, std::memory_order_release);
    }

    // Reader side: one attempt at a consistent copy. False when a write was
    // in progress; `out` is then left unchanged.
    bool tryLoad(T& out, int attempts = 4) const {
        uint64_t buffer[kWords];
        for (int attempt = 0; attempt < attempts; ++attempt) {
            const uint32_t before = m_sequence.load(std::memory_order_acquire);
            if (before & 1u)
                continue;
            for (size_t i = 0; i < kWords; ++i)
                buffer[i] = m_words[i].load(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before) {
                std::memcpy(&out, buffer, sizeof(T));
                return true;
            }
        }
        return false;
    }

    // Reader side for threads that may spin briefly (never the audio callback).
    T load() const {
        T out;
        while (!tryLoad(out, 64)) {
        }
        return out;
    }

    // Number of completed writes; changes whenever the value was stored.
    uint32_t version() const { return m_sequence.load(std::memory_order_acquire) / 2; }

private:
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<uint64_t> m_words[kWords] = {};
};

}  // namespace qv

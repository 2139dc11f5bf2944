#pragma once
// Work that costs a fuzz target several times what its reader costs (drawing
// a dashboard, writing and re-reading a file) runs for one input in a share:
// chosen by a hash of the input's bytes, so a saved input replays the same
// way, and spread evenly over mutations, so the readers get most of the time.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qv::fuzz {

// The hash reads every byte of the input; left uninstrumented it costs the
// run next to nothing, where coverage hooks on each byte cost it a share of
// its inputs. Nothing in it is what the fuzzer explores.
#if defined(__clang__)
#define QV_FUZZ_HARNESS_ONLY __attribute__((no_sanitize("coverage", "address")))
#else
#define QV_FUZZ_HARNESS_ONLY
#endif

QV_FUZZ_HARNESS_ONLY inline bool isSampledInput(const uint8_t* data, size_t size, uint32_t share) {
    // Eight bytes a step (large inputs are common), each word mixed in by a
    // multiply, so a change of any byte moves the choice.
    uint64_t hash = 0x9e3779b97f4a7c15u ^ size;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        hash = (hash ^ word) * 0xff51afd7ed558ccdu;
        hash ^= hash >> 32;
    }
    for (; i < size; ++i)
        hash = (hash ^ data[i]) * 0x100000001b3u;
    hash ^= hash >> 29;
    hash *= 0xc4ceb9fe1a85ec53u;
    hash ^= hash >> 32;
    return hash % share == 0;
}

}  // namespace qv::fuzz

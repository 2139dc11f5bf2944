#pragma once
// Work that costs a fuzz target several times what its reader costs (drawing
// a dashboard, writing and re-reading a file) runs for one input in a share:
// chosen by a hash of the input's bytes, so a saved input replays the same
// way, and spread evenly over mutations, so the readers get most of the time.

#include <cstddef>
#include <cstdint>

namespace qv::fuzz {

// The hash walks every byte of the input; left uninstrumented it costs the
// run next to nothing, where coverage hooks on each byte cost it a share of
// its inputs. Nothing in it is what the fuzzer explores.
#if defined(__clang__)
#define QV_FUZZ_HARNESS_ONLY __attribute__((no_sanitize("coverage", "address")))
#else
#define QV_FUZZ_HARNESS_ONLY
#endif

QV_FUZZ_HARNESS_ONLY inline bool isSampledInput(const uint8_t* data, size_t size, uint32_t share) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash % share == 0;
}

}  // namespace qv::fuzz

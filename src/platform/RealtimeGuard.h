#pragma once
// Fences the real-time code (the audio callbacks): a RealtimeScope marks the
// current thread as inside it. Nothing is enforced in the program itself; the
// tests' allocator counts every allocation made inside a scope, which keeps
// the callbacks free of allocations.

namespace qv {

inline thread_local int tRealtimeDepth = 0;

inline bool inRealtimeScope() { return tRealtimeDepth > 0; }

class RealtimeScope {
public:
    RealtimeScope() { ++tRealtimeDepth; }
    ~RealtimeScope() { --tRealtimeDepth; }
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;
};

}  // namespace qv

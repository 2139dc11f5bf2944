#pragma once
// One simulator's shared memory as the feed publishes it. Each simulator has
// a writer that lays out the memory exactly as that simulator does.
//
// Lifetime: open() creates the shared memory (replacing stale files, never
// truncating one in place) and marks the simulator running; publish() writes
// one tick; close() clears the running status and removes what open() made.

#include "simfeed/DriveScript.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv::simfeed {

enum class SimKind { IRacing, ACC, AC, ACEvo, LMU };

std::optional<SimKind> parseSimKind(std::string_view name);
// The names parseSimKind knows, for messages: "iracing, acc, ac, ac_evo, lmu".
const char* simKindNames();

struct FeedConfig {
    SimKind sim = SimKind::IRacing;
    ScriptKind script = ScriptKind::Lap;
    std::string shmFolder;        // "" = the shared-memory folder of the environment
    bool iracing360Hz = false;    // iRacing's six-sub-sample shock variables
};

class FeedWriter {
public:
    virtual ~FeedWriter() = default;

    virtual bool open() = 0;
    // Writes the state of the script at `t` seconds as tick number `tick`.
    virtual void publish(double t, int tick) = 0;
    virtual void close() = 0;
    // Lets go of the shared memory without writing to it: when a file was
    // cut short under the feed, a write there would fault again. Writers
    // whose close() writes nothing may keep this default.
    virtual void discard() { close(); }

    // Ticks per second the simulator publishes at.
    virtual int tickRate() const = 0;
    // One line: what is published where.
    virtual std::string describe() const = 0;
    const std::string& lastError() const { return m_error; }

protected:
    std::string m_error;
};

std::unique_ptr<FeedWriter> makeFeedWriter(const FeedConfig& config);

}  // namespace qv::simfeed

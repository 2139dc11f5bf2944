#include "simfeed/FeedWriter.h"

#include "simfeed/AcFeedWriter.h"
#include "simfeed/IRacingFeedWriter.h"

namespace qv::simfeed {

std::optional<SimKind> parseSimKind(std::string_view name) {
    if (name == "iracing")
        return SimKind::IRacing;
    if (name == "acc")
        return SimKind::ACC;
    if (name == "ac")
        return SimKind::AC;
    return std::nullopt;
}

std::unique_ptr<FeedWriter> makeFeedWriter(const FeedConfig& config) {
    switch (config.sim) {
    case SimKind::IRacing: return std::make_unique<IRacingFeedWriter>(config);
    case SimKind::ACC:
    case SimKind::AC: return std::make_unique<AcFeedWriter>(config);
    }
    return nullptr;
}

}  // namespace qv::simfeed

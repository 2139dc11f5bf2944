#include "simfeed/FeedWriter.h"

#include "simfeed/IRacingFeedWriter.h"

namespace qv::simfeed {

std::optional<SimKind> parseSimKind(std::string_view name) {
    if (name == "iracing")
        return SimKind::IRacing;
    return std::nullopt;
}

std::unique_ptr<FeedWriter> makeFeedWriter(const FeedConfig& config) {
    switch (config.sim) {
    case SimKind::IRacing: return std::make_unique<IRacingFeedWriter>(config);
    }
    return nullptr;
}

}  // namespace qv::simfeed

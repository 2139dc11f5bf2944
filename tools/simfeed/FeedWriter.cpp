#include "simfeed/FeedWriter.h"

#include "simfeed/AcFeedWriter.h"
#include "simfeed/ACEVOFeedWriter.h"
#include "simfeed/IRacingFeedWriter.h"
#include "simfeed/LMUFeedWriter.h"

namespace qv::simfeed {

std::optional<SimKind> parseSimKind(std::string_view name) {
    if (name == "iracing")
        return SimKind::IRacing;
    if (name == "acc")
        return SimKind::ACC;
    if (name == "ac")
        return SimKind::AC;
    if (name == "ac_evo")
        return SimKind::ACEvo;
    if (name == "lmu")
        return SimKind::LMU;
    return std::nullopt;
}

const char* simKindNames() { return "iracing, acc, ac, ac_evo, lmu"; }

std::unique_ptr<FeedWriter> makeFeedWriter(const FeedConfig& config) {
    switch (config.sim) {
    case SimKind::IRacing: return std::make_unique<IRacingFeedWriter>(config);
    case SimKind::ACC:
    case SimKind::AC: return std::make_unique<AcFeedWriter>(config);
    case SimKind::ACEvo: return std::make_unique<ACEVOFeedWriter>(config);
    case SimKind::LMU: return std::make_unique<LMUFeedWriter>(config);
    }
    return nullptr;
}

}  // namespace qv::simfeed

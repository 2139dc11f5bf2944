#include "simfeed/FeedOptions.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

namespace qv::simfeed {

bool parseFeedOptions(int argc, const char* const* argv, FeedOptions& options, std::string& error) {
    options = FeedOptions{};
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            options.showHelp = true;
        } else if (arg == "--360hz") {
            options.config.iracing360Hz = true;
        } else if (arg == "--sim") {
            if (!value(v))
                return false;
            const auto sim = parseSimKind(v);
            if (!sim) {
                error = "unknown simulator \"" + std::string(v) + "\" (known: " + simKindNames() + ")";
                return false;
            }
            options.config.sim = *sim;
        } else if (arg == "--script") {
            if (!value(v))
                return false;
            const auto script = parseScriptKind(v);
            if (!script) {
                error = "unknown script \"" + std::string(v) + "\" (known: cruise, lap)";
                return false;
            }
            options.config.script = *script;
        } else if (arg == "--duration") {
            if (!value(v))
                return false;
            const std::string text(v);
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 || seconds > 1.0e7) {
                error = "--duration needs a number of seconds above 0, not \"" + text + "\"";
                return false;
            }
            options.durationSeconds = seconds;
        } else if (arg == "--shm-dir") {
            if (!value(v))
                return false;
            if (v.empty()) {
                error = "--shm-dir needs a folder";
                return false;
            }
            options.config.shmFolder = std::string(v);
        } else {
            error = "unknown option \"" + std::string(arg) + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace qv::simfeed

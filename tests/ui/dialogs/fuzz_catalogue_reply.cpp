// The catalogue's list, entry and error replies from arbitrary bytes: no
// crash, and whatever is kept is safe to draw and to use as a file name.

#include "settings/ProfileName.h"
#include "ui/dialogs/CommunityCatalogue.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    std::vector<qv::CommunityProfileEntry> entries;
    if (qv::parseCatalogueList(body, entries)) {
        for (const auto& e : entries) {
            if (!qv::isValidProfileName(e.name) || e.id.empty() || e.author.size() > qv::kMaxAuthorBytes ||
                !qv::isValidUtf8(e.author) || !qv::isValidUtf8(e.description) || e.downloads < 0)
                std::abort();
        }
    }
    nlohmann::json profile;
    if (qv::parseCatalogueEntry(body, profile) && !profile.is_object())
        std::abort();
    const std::string text = qv::catalogueFailureText(body, 500);
    if (text.empty() || !qv::isValidUtf8(text))
        std::abort();
    return 0;
}

// The catalogue's list, entry and error replies from arbitrary bytes: no
// crash, and whatever is kept is safe to draw and to use as a file name.
//
// The first byte chooses the reader ('0' list, '1' entry, '2' error text:
// its value modulo 3) and the rest is the reply's body, so each input parses
// once and the fuzzer learns which reader an input is for.

#include "settings/ProfileName.h"
#include "ui/dialogs/CommunityCatalogue.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

void checkList(std::string_view body) {
    std::vector<qv::CommunityProfileEntry> entries;
    if (!qv::parseCatalogueList(body, entries))
        return;
    for (const auto& e : entries) {
        require(qv::isValidProfileName(e.name) && !e.id.empty() && e.id.size() <= qv::kMaxCatalogueIdBytes &&
                e.author.size() <= qv::kMaxAuthorBytes && e.description.size() <= qv::kMaxDescriptionBytes &&
                qv::isValidUtf8(e.author) && qv::isValidUtf8(e.description) && e.downloads >= 0);
    }
}

void checkEntry(std::string_view body) {
    nlohmann::json profile;
    if (qv::parseCatalogueEntry(body, profile))
        require(profile.is_object());
}

void checkFailureText(std::string_view body) {
    const std::string text = qv::catalogueFailureText(body, 500);
    require(!text.empty() && qv::isValidUtf8(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
        case 0:
            checkList(body);
            break;
        case 1:
            checkEntry(body);
            break;
        default:
            checkFailureText(body);
            break;
    }
    return 0;
}

#include "ui/dialogs/CommunityCatalogue.h"

#include "settings/JsonText.h"
#include "ui/dialogs/OutsideText.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace qv {

namespace {

using Json = nlohmann::json;

// The reply as a document; null when it is not JSON or nests too deep.
Json parseReply(std::string_view body, std::string* error = nullptr) {
    Json root;
    parseJsonText(body, root, error);
    return root;
}

// An optional string member: missing is empty; another type fails.
bool optionalText(const Json& object, const char* key, size_t maxBytes, std::string& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        out.clear();
        return true;
    }
    if (!it->is_string())
        return false;
    out = cleanServerText(it->get_ref<const std::string&>(), maxBytes);
    return true;
}

bool readEntry(const Json& element, CommunityProfileEntry& entry) {
    if (!element.is_object())
        return false;
    const auto id = element.find("id");
    if (id == element.end() || !id->is_string())
        return false;
    entry.id = id->get<std::string>();
    if (entry.id.empty() || entry.id.size() > kMaxCatalogueIdBytes)
        return false;
    const auto name = element.find("name");
    if (name == element.end() || !name->is_string())
        return false;
    entry.name = cleanOutsideProfileName(name->get_ref<const std::string&>());
    if (entry.name.empty())
        return false;
    if (!optionalText(element, "author", kMaxAuthorBytes, entry.author) ||
        !optionalText(element, "description", kMaxDescriptionBytes, entry.description))
        return false;
    entry.downloads = 0;
    const auto downloads = element.find("downloads");
    if (downloads != element.end() && !downloads->is_null()) {
        if (!downloads->is_number())
            return false;
        const double value = downloads->get<double>();
        if (std::isfinite(value))
            entry.downloads = static_cast<int32_t>(std::clamp(value, 0.0, double(std::numeric_limits<int32_t>::max())));
    }
    return true;
}

}  // namespace

bool parseCatalogueList(std::string_view body, std::vector<CommunityProfileEntry>& entries) {
    entries.clear();
    const Json root = parseReply(body);
    const Json* list = &root;
    if (root.is_object()) {
        const auto profiles = root.find("profiles");
        if (profiles == root.end())
            return false;
        list = &*profiles;
    }
    if (!list->is_array())
        return false;
    for (const Json& element : *list) {
        CommunityProfileEntry entry;
        if (readEntry(element, entry))
            entries.push_back(std::move(entry));
    }
    return true;
}

bool parseCatalogueEntry(std::string_view body, Json& profile, std::string* error) {
    Json root = parseReply(body, error);
    if (!root.is_object())
        return false;
    const auto outer = root.find("profile");
    if (outer == root.end() || !outer->is_object())
        return false;
    const auto inner = outer->find("profile");
    profile = std::move((inner != outer->end() && inner->is_object()) ? *inner : *outer);
    return true;
}

std::string catalogueFailureText(std::string_view body, int status, const std::string& transportError) {
    const Json root = parseReply(body);
    if (root.is_object()) {
        const auto error = root.find("error");
        if (error != root.end() && error->is_string()) {
            std::string text = cleanServerText(error->get_ref<const std::string&>(), 200);
            if (!text.empty())
                return text;
        }
    }
    if (status == 0 && !transportError.empty())
        return cleanServerText(transportError, 200);
    return "Server returned status " + std::to_string(status);
}

}  // namespace qv

#pragma once
// The online catalogue's replies, read once at the front door: every text
// that leaves here is valid UTF-8 without control characters, every name is
// a safe profile name, and one malformed entry costs only that entry.
// Every reply is read with the nesting limit of settings/JsonText.h.
// Any thread; no state.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct CommunityProfileEntry {
    std::string id;           // as sent (percent-encoded when it goes into a request)
    std::string name;         // cleanOutsideProfileName of the server's name
    std::string author;       // cleaned, at most 127 bytes
    std::string description;  // cleaned, at most kMaxDescriptionBytes
    int32_t downloads = 0;
};

inline constexpr size_t kMaxCatalogueIdBytes = 256;
inline constexpr size_t kMaxAuthorBytes = 127;
inline constexpr size_t kMaxDescriptionBytes = 400;

// A list reply: {"profiles": [...]} or a bare array of entry objects. False
// when the body is not JSON or holds no array there. An element is kept
// when it is an object whose "id" is a non-empty string (at most
// kMaxCatalogueIdBytes) and whose "name" is a string that cleans to a
// usable profile name; "author" and "description" must be strings when
// present and "downloads" a number (clamped to int32), or the element is
// dropped.
bool parseCatalogueList(std::string_view body, std::vector<CommunityProfileEntry>& entries);

// An entry reply: the object under "profile", or under "profile"."profile"
// when that is an object too. False when there is none; `error` (when
// given) then says why when the body was not JSON or nested too deep.
bool parseCatalogueEntry(std::string_view body, nlohmann::json& profile, std::string* error = nullptr);

// What a failed request's reply says: the cleaned "error" string of a JSON
// object body, else "Server returned status " + status (when nothing
// answered: the transport's `transportError`, when given).
std::string catalogueFailureText(std::string_view body, int status, const std::string& transportError = {});

}  // namespace qv

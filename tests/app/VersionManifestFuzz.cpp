// libFuzzer target: whatever body an update host sends goes through the
// manifest reader and the text helpers; what reaches the buffers must be
// valid UTF-8 and zero-terminated within them.

#include "app/UpdateCheck.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <cstring>

using namespace qv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);

    VersionNumber number;
    parseVersion(body, number);
    if (number.major < 0 || number.minor < 0 || number.patch < 0)
        std::abort();
    versionIsNewer(body, "0.6.103");

    VersionManifest manifest;
    if (!parseVersionManifest(body, manifest))
        return 0;
    char notes[kReleaseNotesSize];
    char version[kLatestVersionSize];
    copyTruncatedUtf8(notes, sizeof notes, crlfLineBreaks(manifest.notes));
    copyTruncatedUtf8(version, sizeof version, manifest.version);
    if (std::memchr(notes, 0, sizeof notes) == nullptr || std::memchr(version, 0, sizeof version) == nullptr)
        std::abort();
    // Valid UTF-8 survives as a JSON string (control characters escaped by dump).
    if (!nlohmann::json::accept(nlohmann::json(std::string(notes)).dump()))
        std::abort();
    return 0;
}

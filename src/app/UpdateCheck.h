#pragma once
// The update check: once per start a detached worker fetches the version
// manifest ({"version", "url", "notes"} as JSON over HTTPS) and, when it names
// a newer version, publishes the version and download address for the update
// dialog. The release notes are kept in any case for the "What's New" dialog.
//
// Publication: the worker fills each buffer completely before it raises the
// flag that guards it (gUpdateAvailable for gUpdateUrl and gLatestVersion,
// gReleaseNotesReady for gReleaseNotes; both stored with release order).
// Readers load the flag (acquire) first and read the buffers only when it is
// 1; the buffers never change afterwards. What reaches the buffers is checked
// here: the status was 2xx, the texts are valid UTF-8 and cut only at
// character boundaries, the download address is an https:// address that
// fits its buffer whole (otherwise it stays empty).

#include "platform/net/HttpsTransport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

inline constexpr size_t kUpdateUrlSize = 256;
inline constexpr size_t kLatestVersionSize = 32;
inline constexpr size_t kReleaseNotesSize = 4096;

inline constexpr const char* kUpdateCheckerUserAgent = "QuorVane-UpdateChecker/1.0";
inline constexpr int kUpdateCheckTimeoutMs = 5000;     // connect, and the longest silence while receiving
inline constexpr int kUpdateCheckTotalTimeoutMs = 20000;
inline constexpr size_t kManifestMaxBytes = 64u << 10;
inline constexpr int kMaxVersionPart = 999999;

extern std::atomic<int32_t> gUpdateAvailable;    // 1 once a newer version was found
extern std::atomic<int32_t> gReleaseNotesReady;  // 1 once gReleaseNotes is complete
extern char gUpdateUrl[kUpdateUrlSize];
extern char gLatestVersion[kLatestVersionSize];
extern char gReleaseNotes[kReleaseNotesSize];

// The published values for readers on other threads: empty until their flag is raised.
const char* publishedUpdateUrl();
const char* publishedLatestVersion();
const char* publishedReleaseNotes();

// Where a check writes its results. A null buffer (or one of size 0) skips its
// copy; a null flag is not raised.
struct UpdateCheckRequest {
    std::atomic<int32_t>* updateAvailable = nullptr;
    char* url = nullptr;
    size_t urlSize = 0;
    char* notes = nullptr;
    size_t notesSize = 0;
    char* version = nullptr;
    size_t versionSize = 0;
    std::atomic<int32_t>* notesReady = nullptr;

    std::string manifestUrl;  // https:// address of the manifest
    std::string caFile;       // extra trusted CA file, may be empty
    IHttpsTransport* transport = nullptr;  // null: the default transport
};

struct VersionManifest {
    std::string version;
    std::string url;
    std::string notes;
};

struct VersionNumber {
    int major = 0;
    int minor = 0;
    int patch = 0;
};

enum class UpdateCheckResult { Failed, UpToDate, NewerAvailable };

// Fetches and applies the manifest; error (may be null) says why it failed.
UpdateCheckResult checkForUpdate(const UpdateCheckRequest& request, std::string* error = nullptr);

// The worker: checkForUpdate, a log line when it failed or found a newer
// version, then deletes the request.
void updateCheckThread(UpdateCheckRequest* request);

// Starts the worker on the process-wide results, detached; false when the
// thread could not be started.
bool startUpdateCheckWorker(const std::string& manifestUrl, const std::string& caFile);

// GET of the manifest; true with the manifest when a 2xx reply arrived whole
// and parsed.
bool fetchVersionManifest(const UpdateCheckRequest& request, VersionManifest& manifest, std::string* error);

// A JSON object whose "version" is a non-empty string; "url" and "notes" are
// read when they are strings. False for anything else (an HTML page, a
// truncated or malformed text).
bool parseVersionManifest(std::string_view body, VersionManifest& manifest);

// Every line break (LF, CR or CR LF) as CR LF, the form the dialogs lay out.
std::string crlfLineBreaks(std::string_view text);

// "major.minor.patch" read the way "%d.%d.%d" reads it: each part preset to 0,
// reading stops at the first mismatch ("0.7" is 0.7.0, "v1" is 0.0.0). False
// when a part that was read is negative or above kMaxVersionPart.
bool parseVersion(std::string_view text, VersionNumber& version);

// True when a is a valid version greater than b (major, then minor, then
// patch). An invalid a is never newer.
bool versionIsNewer(std::string_view a, std::string_view b);

// Copies src into dst[size], zero-terminated, cut at a UTF-8 character
// boundary when it does not fit (src must be valid UTF-8).
void copyTruncatedUtf8(char* dst, size_t size, std::string_view src);

}  // namespace qv

#include "app/UpdateCheck.h"

#include "app/BackendConfig.h"
#include "app/OnlineWorkers.h"
#include "app/Version.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"
#include "settings/JsonText.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace qv {

std::atomic<int32_t> gUpdateAvailable{0};
std::atomic<int32_t> gReleaseNotesReady{0};
char gUpdateUrl[kUpdateUrlSize] = {};
char gLatestVersion[kLatestVersionSize] = {};
char gReleaseNotes[kReleaseNotesSize] = {};

const char* publishedUpdateUrl() { return gUpdateAvailable.load(std::memory_order_acquire) == 1 ? gUpdateUrl : ""; }

const char* publishedLatestVersion() {
    return gUpdateAvailable.load(std::memory_order_acquire) == 1 ? gLatestVersion : "";
}

const char* publishedReleaseNotes() {
    return gReleaseNotesReady.load(std::memory_order_acquire) == 1 ? gReleaseNotes : "";
}

void copyTruncatedUtf8(char* dst, size_t size, std::string_view src) {
    if (!dst || size == 0)
        return;
    src = src.substr(0, src.find('\0'));
    size_t n = std::min(src.size(), size - 1);
    if (n < src.size())
        while (n > 0 && (static_cast<unsigned char>(src[n]) & 0xC0) == 0x80)
            --n;  // src[n] continues the character that src[n - 1] is part of
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

std::string crlfLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool parseVersion(std::string_view text, VersionNumber& version) {
    version = VersionNumber{};
    int* parts[3] = {&version.major, &version.minor, &version.patch};
    size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.')
                return true;
            ++i;
        }
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            negative = text[i] == '-';
            ++i;
        }
        if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
            return true;
        long long value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            value = value * 10 + (text[i] - '0');
            if (value > kMaxVersionPart)
                return false;
            ++i;
        }
        if (negative && value != 0)
            return false;
        *parts[part] = static_cast<int>(value);
    }
    return true;
}

bool versionIsNewer(std::string_view a, std::string_view b) {
    VersionNumber va, vb;
    if (!parseVersion(a, va) || !parseVersion(b, vb))
        return false;
    if (va.major != vb.major)
        return va.major > vb.major;
    if (va.minor != vb.minor)
        return va.minor > vb.minor;
    return va.patch > vb.patch;
}

bool parseVersionManifest(std::string_view body, VersionManifest& manifest) {
    nlohmann::json root;
    if (!parseJsonText(body, root) || !root.is_object())
        return false;
    const auto text = [&root](const char* key) {
        const auto it = root.find(key);
        return it != root.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    VersionManifest parsed{text("version"), text("url"), text("notes")};
    if (parsed.version.empty())
        return false;
    manifest = std::move(parsed);
    return true;
}

bool fetchVersionManifest(const UpdateCheckRequest& request, VersionManifest& manifest, std::string* error) {
    HttpsRequest get;
    get.method = HttpMethod::Get;
    get.url = request.manifestUrl;
    get.userAgent = kUpdateCheckerUserAgent;
    get.caFile = request.caFile;
    get.connectTimeoutMs = kUpdateCheckTimeoutMs;
    get.stallTimeoutMs = kUpdateCheckTimeoutMs;
    get.totalTimeoutMs = kUpdateCheckTotalTimeoutMs;
    get.maxBodyBytes = kManifestMaxBytes;
    IHttpsTransport& transport = request.transport ? *request.transport : defaultHttpsTransport();
    const HttpsResponse response = transport.perform(get);
    if (!response.completed) {
        if (error)
            *error = response.error;
        return false;
    }
    if (response.status < 200 || response.status > 299) {
        if (error)
            *error = request.manifestUrl + " answered with status " + std::to_string(response.status);
        return false;
    }
    if (!parseVersionManifest(response.body, manifest)) {
        if (error)
            *error = request.manifestUrl + " did not send a version manifest";
        return false;
    }
    return true;
}

UpdateCheckResult checkForUpdate(const UpdateCheckRequest& request, std::string* error) {
    VersionManifest manifest;
    if (!fetchVersionManifest(request, manifest, error))
        return UpdateCheckResult::Failed;

    if (request.notes && request.notesSize > 0 && !manifest.notes.empty()) {
        copyTruncatedUtf8(request.notes, request.notesSize, crlfLineBreaks(manifest.notes));
        if (request.notesReady)
            request.notesReady->store(1, std::memory_order_release);
    }

    if (!versionIsNewer(manifest.version, kVersionText))
        return UpdateCheckResult::UpToDate;

    // An address that is not https:// or would not fit whole is left out
    // rather than cut into another address.
    const bool usableUrl = isHttpsUrl(manifest.url) && manifest.url.size() < request.urlSize;
    copyTruncatedUtf8(request.version, request.versionSize, manifest.version);
    copyTruncatedUtf8(request.url, request.urlSize, usableUrl ? manifest.url : std::string());
    if (request.updateAvailable)
        request.updateAvailable->exchange(1, std::memory_order_acq_rel);
    return UpdateCheckResult::NewerAvailable;
}

void updateCheckThread(UpdateCheckRequest* request) {
    std::unique_ptr<UpdateCheckRequest> owned(request);
    std::string error;
    switch (checkForUpdate(*owned, &error)) {
    case UpdateCheckResult::Failed:
        outPrint("  [UpdateCheck] No update information: %s\n", printableText(error).c_str());
        break;
    case UpdateCheckResult::NewerAvailable:
        // The version is the server's text: never let it drive the terminal.
        outPrint("  [UpdateCheck] Version %s is available (this is %s).\n",
                 printableText(owned->version ? owned->version : "").c_str(), kVersionText);
        break;
    case UpdateCheckResult::UpToDate:
        break;
    }
    owned.reset();
    onlineWorkers().end();
}

bool startUpdateCheckWorker(const std::string& manifestUrl, const std::string& caFile) {
    auto request = std::make_unique<UpdateCheckRequest>();
    request->updateAvailable = &gUpdateAvailable;
    request->url = gUpdateUrl;
    request->urlSize = sizeof gUpdateUrl;
    request->notes = gReleaseNotes;
    request->notesSize = sizeof gReleaseNotes;
    request->version = gLatestVersion;
    request->versionSize = sizeof gLatestVersion;
    request->notesReady = &gReleaseNotesReady;
    request->manifestUrl = manifestUrl;
    request->caFile = caFile;
    onlineWorkers().begin();
    try {
        std::thread(updateCheckThread, request.get()).detach();
        request.release();  // the worker owns it now
        return true;
    } catch (const std::system_error& e) {
        onlineWorkers().end();
        errPrint("  [UpdateCheck] ERROR: could not start the update check: %s\n", e.what());
        return false;
    }
}

}  // namespace qv

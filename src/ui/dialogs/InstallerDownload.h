#pragma once
// The update's download for the update dialog: one detached worker fetches
// the address over HTTPS (certificate verified as for every request; no
// total time limit, but a stall of kInstallerStallMs fails it; at most
// kInstallerMaxBytes) into a private folder of its own (platform/net/
// FileDownload.h) and reports through gInstallerState. The program never
// runs or opens what it downloaded: the dialog shows the path and opens the
// folder.
//
// Threads: start, cancel and the getters run on the GUI thread; the worker
// publishes the path and error (under a lock) before it stores the final
// state. A cancelled download (the dialog closed, the program ends: checked
// from the transfer's progress) removes its file and reports nothing. The
// worker holds everything it touches, so it may outlive the dialog safely;
// when the program ends before the worker notices (Ctrl+C, Exit), exit
// handlers end the download (platform/net/FileDownload.h stops the transfer,
// so the partial file and its folder go with it) and then wait for the worker
// and join it (at most kInstallerExitWaitMs), before the TLS library cleans
// up.

#include "platform/net/HttpsTransport.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

inline constexpr int32_t kInstallerIdle = 0;
inline constexpr int32_t kInstallerDownloading = 1;
inline constexpr int32_t kInstallerDownloaded = 2;
inline constexpr int32_t kInstallerFailed = 3;

inline constexpr int kInstallerStallMs = 15000;
// How long the program's end waits for a running download's worker.
inline constexpr int kInstallerExitWaitMs = 3000;
inline constexpr size_t kInstallerMaxBytes = size_t{512} << 20;
inline constexpr int kInstallerConnectTimeoutMs = 15000;
inline constexpr const char* kInstallerUserAgent = "QuorVane-Updater/1.0";

extern std::atomic<int32_t> gInstallerState;

struct InstallerDownloadOptions {
    std::string caFile;                   // extra trusted CA file, may be empty
    IHttpsTransport* transport = nullptr;  // null: the default transport (must outlive the worker)
    int stallTimeoutMs = kInstallerStallMs;
    size_t maxBytes = kInstallerMaxBytes;
};

// Starts the download (state 1). False, changing nothing, while one runs,
// for an address that is not https://, or when no thread could be started
// (state 3 then, with the reason).
bool startInstallerDownload(const std::string& url, const InstallerDownloadOptions& options);
// Asks the running download to stop; its file is removed and the state
// goes back to 0 (idle).
void cancelInstallerDownload();
// The complete file (state 2) and why the last download failed (state 3).
std::string installerPath();
std::string installerError();
// Back to idle unless a download runs (a new update dialog).
void resetInstallerState();
// Waits until no worker runs (tests); false on time-out.
bool waitForInstallerWorker(int timeoutMs);

}  // namespace qv

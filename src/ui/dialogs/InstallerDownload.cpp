#include "ui/dialogs/InstallerDownload.h"

#include "app/AppGlobals.h"
#include "platform/net/FileDownload.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

std::atomic<int32_t> gInstallerState{kInstallerIdle};

namespace {

struct DownloadJob {
    std::string url;
    InstallerDownloadOptions options;
    std::atomic<bool> cancel{false};
};

// Never destroyed: a worker may still run while the program ends.
struct InstallerShared {
    std::mutex mutex;
    std::shared_ptr<DownloadJob> current;  // the running job, null when none
    std::string path;
    std::string error;
    // The last worker started: joined before the next one starts and at
    // exit, never detached (see endAtExit).
    std::thread worker;
    bool exitHandlerInstalled = false;
};

InstallerShared& shared() {
    static auto* s = new InstallerShared();
    return *s;
}


void downloadWorker(std::shared_ptr<DownloadJob> job) {
    HttpsRequest request;
    request.url = job->url;
    request.userAgent = kInstallerUserAgent;
    request.caFile = job->options.caFile;
    request.connectTimeoutMs = kInstallerConnectTimeoutMs;
    request.totalTimeoutMs = 0;  // large files on slow lines: only a stall ends it
    request.stallTimeoutMs = job->options.stallTimeoutMs;
    request.maxBodyBytes = job->options.maxBytes;
    request.shouldCancel = [job] { return job->cancel.load() || gRunning.load() == 0; };
    IHttpsTransport& transport = job->options.transport ? *job->options.transport : defaultHttpsTransport();
    const FileDownloadResult result =
        downloadToPrivateFile(transport, request, downloadFileName(job->url, "QuorVane-Update"), "quorvane-update-");

    InstallerShared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    const bool stillWanted = s.current == job && !job->cancel.load() && gRunning.load() != 0;
    if (s.current == job)
        s.current.reset();
    if (!stillWanted) {
        if (result.ok)
            removePrivateDownload(result.path);  // finished just as it was cancelled
        if (job->cancel.load() && gInstallerState.load() == kInstallerDownloading)
            gInstallerState = kInstallerIdle;
        return;
    }
    s.path = result.ok ? result.path : std::string();
    s.error = result.ok ? std::string() : result.error;
    gInstallerState = result.ok ? kInstallerDownloaded : kInstallerFailed;
}

// At exit, a download still running ends first: it is cancelled, and its
// worker (which removes its files) is waited for and joined, so no thread
// holds the TLS library's state when that library cleans up in its own exit
// handler (installed earlier, by the HTTPS set-up, so it runs later). A
// worker that does not end in time is left; FileDownload's exit handler has
// removed its files by then.
void endAtExit() {
    InstallerShared& s = shared();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.current)
            s.current->cancel = true;
    }
    if (!waitForInstallerWorker(kInstallerExitWaitMs))
        return;
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        worker = std::move(s.worker);
    }
    if (worker.joinable())
        worker.join();
}

bool isHttps(const std::string& url) {
    return url.size() > 8 && (url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0);
}

}  // namespace

bool startInstallerDownload(const std::string& url, const InstallerDownloadOptions& options) {
    InstallerShared& s = shared();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.current || gInstallerState.load() == kInstallerDownloading || !isHttps(url))
        return false;
    // The previous worker has published its result (no current job): it is
    // past its last use of the lock and ends at once.
    std::thread previous = std::move(s.worker);
    lock.unlock();
    if (previous.joinable())
        previous.join();
    lock.lock();
    if (s.current || gInstallerState.load() == kInstallerDownloading)
        return false;
    if (!s.exitHandlerInstalled) {
        // HTTPS first: its exit handler then runs after this one.
        httpsGlobalInit(nullptr);
        s.exitHandlerInstalled = std::atexit(endAtExit) == 0;
    }
    auto job = std::make_shared<DownloadJob>();
    job->url = url;
    job->options = options;
    s.current = job;
    s.path.clear();
    s.error.clear();
    gInstallerState = kInstallerDownloading;
    try {
        s.worker = std::thread(downloadWorker, job);
    } catch (const std::system_error& e) {
        s.current.reset();
        s.error = std::string("The download could not be started: ") + e.what();
        gInstallerState = kInstallerFailed;
        return false;
    }
    return true;
}

void cancelInstallerDownload() {
    InstallerShared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.current)
        s.current->cancel = true;
}

std::string installerPath() {
    InstallerShared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.path;
}

std::string installerError() {
    InstallerShared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.error;
}

void resetInstallerState() {
    InstallerShared& s = shared();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.current)
        return;
    s.path.clear();
    s.error.clear();
    gInstallerState = kInstallerIdle;
}

bool waitForInstallerWorker(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        {
            InstallerShared& s = shared();
            std::lock_guard<std::mutex> lock(s.mutex);
            if (!s.current)
                return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace qv

#pragma once
// One request to the online catalogue on a worker thread of its own, so the
// dialog that asked keeps painting and answering while a slow server takes
// up to the client's time-out. The dialog starts it, polls it on its reply
// timer and cancels it (Escape, or the dialog closing). The worker holds
// everything it touches, so it may outlive the dialog: a cancelled transfer
// ends within a fraction of a second (libcurl's progress check asks the
// cancel flag, and also whether the program is ending). Workers count among
// the online workers (app/OnlineWorkers.h) that shutdown waits for.
//
// Threads: the member functions run on the GUI thread; the worker runs the
// request and publishes the reply under the job's mutex.

#include "app/BackendClient.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qv {

// The dialogs' timer that polls a running request, and its period.
inline constexpr uint32_t kCatalogueReplyTimer = 102;
inline constexpr uint32_t kCatalogueReplyPollMs = 50;

struct CatalogueRequestOptions {
    int connectTimeoutMs = kBackendConnectTimeoutMs;
    int totalTimeoutMs = kBackendTotalTimeoutMs;
};

class CatalogueRequest {
public:
    CatalogueRequest() = default;
    ~CatalogueRequest();  // cancels a running request; never waits for it
    CatalogueRequest(const CatalogueRequest&) = delete;
    CatalogueRequest& operator=(const CatalogueRequest&) = delete;
    CatalogueRequest(CatalogueRequest&& other) noexcept = default;
    // Lets go of this one's request and takes the other's.
    CatalogueRequest& operator=(CatalogueRequest&& other) noexcept {
        cancel();
        m_job = std::move(other.m_job);
        return *this;
    }

    // Starts a GET (Post: a POST of `body`) of `path` on backendConfig().
    // False while another runs, or when no thread could be started (the
    // reply then comes at once with the reason in its error).
    bool start(HttpMethod method, std::string path, std::string body = {}, const CatalogueRequestOptions& options = {});
    bool isRunning() const { return m_job != nullptr; }
    // True once, when the running request has ended: `reply` gets its result.
    bool takeReply(HttpResult& reply);
    // Lets go of a running request: it ends on its own soon, and its reply
    // is never taken.
    void cancel();
    // Tests: waits up to timeoutMs for the running request to end.
    bool waitUntilDone(int timeoutMs) const;

private:
    struct Job;
    static void run(const std::shared_ptr<Job>& job);  // the worker's body
    std::shared_ptr<Job> m_job;
};

// The running dialog's reply timer: started while `request` runs (once;
// `timerStarted` remembers it) and stopped again.
void startCatalogueReplyTimer(const CatalogueRequest& request, bool& timerStarted);
void stopCatalogueReplyTimer(bool& timerStarted);

// Workers whose transfer has not ended yet (cancelled ones included).
int runningCatalogueWorkers();

// What a failed reply means for the user: too large, timed out, the
// server's "error" text, or its status.
std::string catalogueRequestFailureText(const HttpResult& reply);

}  // namespace qv

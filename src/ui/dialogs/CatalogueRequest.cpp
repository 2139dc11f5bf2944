#include "ui/dialogs/CatalogueRequest.h"

#include "app/AppGlobals.h"
#include "app/OnlineWorkers.h"
#include "platform/Window.h"
#include "ui/DialogHost.h"
#include "ui/dialogs/CommunityCatalogue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

namespace {

std::atomic<int> gRunningWorkers{0};

}  // namespace

struct CatalogueRequest::Job {
    HttpMethod method = HttpMethod::Get;
    std::string path;
    std::string body;
    CatalogueRequestOptions options;
    BackendConfig config;
    std::atomic<bool> cancelled{false};

    mutable std::mutex mutex;
    mutable std::condition_variable doneChanged;
    bool done = false;
    HttpResult reply;
};

CatalogueRequest::~CatalogueRequest() { cancel(); }

bool CatalogueRequest::start(HttpMethod method, std::string path, std::string body,
                             const CatalogueRequestOptions& options) {
    if (m_job)
        return false;
    auto job = std::make_shared<Job>();
    job->method = method;
    job->path = std::move(path);
    job->body = std::move(body);
    job->options = options;
    job->config = backendConfig();
    m_job = job;
    gRunningWorkers.fetch_add(1);
    onlineWorkers().begin();  // shutdown waits a moment for those on the wire
    try {
        std::thread([job] { run(job); }).detach();
    } catch (const std::system_error& e) {
        gRunningWorkers.fetch_sub(1);
        onlineWorkers().end();
        std::lock_guard<std::mutex> lock(job->mutex);
        job->reply.error = std::string("the request could not be started: ") + e.what();
        job->done = true;
        return false;
    }
    return true;
}

bool CatalogueRequest::takeReply(HttpResult& reply) {
    if (!m_job)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_job->mutex);
        if (!m_job->done)
            return false;
        reply = std::move(m_job->reply);
    }
    m_job.reset();
    return true;
}

void CatalogueRequest::cancel() {
    if (!m_job)
        return;
    m_job->cancelled.store(true);
    m_job.reset();
}

bool CatalogueRequest::waitUntilDone(int timeoutMs) const {
    if (!m_job)
        return true;
    std::unique_lock<std::mutex> lock(m_job->mutex);
    return m_job->doneChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_job->done; });
}

void startCatalogueReplyTimer(const CatalogueRequest& request, bool& timerStarted) {
    if (timerStarted || !request.isRunning())
        return;
    if (WindowHandle window = currentDialogWindow())
        timerStarted = setWindowTimer(window, kCatalogueReplyTimer, kCatalogueReplyPollMs);
}

void stopCatalogueReplyTimer(bool& timerStarted) {
    if (!timerStarted)
        return;
    if (WindowHandle window = currentDialogWindow())
        killWindowTimer(window, kCatalogueReplyTimer);
    timerStarted = false;
}

int runningCatalogueWorkers() { return gRunningWorkers.load(); }

void CatalogueRequest::run(const std::shared_ptr<Job>& job) {
    BackendClient client(job->config);
    client.setTimeouts(job->options.connectTimeoutMs, job->options.totalTimeoutMs);
    client.setCancelCheck([job] { return job->cancelled.load() || gRunning.load() == 0; });
    HttpResult reply = job->method == HttpMethod::Post ? client.post(job->path, job->body) : client.get(job->path);
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->reply = std::move(reply);
        job->done = true;
    }
    job->doneChanged.notify_all();
    gRunningWorkers.fetch_sub(1);
    onlineWorkers().end();
}

std::string catalogueRequestFailureText(const HttpResult& reply) {
    if (reply.tooLarge)
        return "the server's reply is too large";
    if (reply.timedOut)
        return "the server did not answer in time";
    if (reply.cancelled)
        return "cancelled";
    if (reply.status >= 300 && reply.status <= 399)
        return "the server sent a redirect (status " + std::to_string(reply.status) + ")";
    return catalogueFailureText(reply.body, reply.status, reply.error);
}

}  // namespace qv

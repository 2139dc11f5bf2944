#include "platform/net/FileDownload.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

// The files of one running download.
struct RunningDownload {
    std::string folder;
    std::string partPath;
    std::string finalPath;
};

// The downloads running in this process. Never destroyed: the exit handler
// and workers that outlive main use it while the program ends.
struct RunningDownloads {
    std::mutex mutex;
    std::condition_variable left;  // a download left the list
    std::vector<RunningDownload> downloads;
    bool handlerInstalled = false;
    // endRunningDownloads ran: running transfers stop, no new one starts.
    std::atomic<bool> ending{false};
};

RunningDownloads& runningDownloads() {
    static auto* running = new RunningDownloads();
    return *running;
}

void removeFiles(const RunningDownload& d) {
    ::unlink(d.partPath.c_str());
    ::unlink(d.finalPath.c_str());
    ::rmdir(d.folder.c_str());
}

void exitHandler() { endRunningDownloads(kDownloadExitWaitMs); }

std::string tempRoot() {
    const char* tmp = std::getenv("TMPDIR");
    std::string root = tmp && tmp[0] == '/' ? tmp : "/tmp";
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Writes everything or fails; EINTR is retried.
bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string downloadFileName(const std::string& url, const std::string& fallback) {
    std::string path = url;
    const size_t end = path.find_first_of("?#");
    if (end != std::string::npos)
        path.resize(end);
    const size_t scheme = path.find("://");
    const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t pathStart = path.find('/', hostStart);
    if (pathStart == std::string::npos)
        return fallback;
    const size_t slash = path.rfind('/');
    std::string name;
    for (char c : path.substr(slash + 1)) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '-' || c == '_' || c == '+';
        if (keep)
            name += c;
    }
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    if (name.size() > 128)
        name.resize(128);
    return name.empty() ? fallback : name;
}

FileDownloadResult downloadToPrivateFile(IHttpsTransport& transport, HttpsRequest request, const std::string& fileName,
                                         const std::string& folderPrefix) {
    FileDownloadResult result;
    if (!isPlainName(fileName) || folderPrefix.find('/') != std::string::npos) {
        result.error = "The download's file name \"" + fileName + "\" is not a plain name.";
        return result;
    }
    // HTTPS (and with it OpenSSL, which cleans up in an exit handler of its
    // own) is set up before this download's exit handler is installed, so
    // at exit that handler runs first and ends the transfer before OpenSSL's
    // state goes. A failure here is the transfer's to report.
    httpsGlobalInit(nullptr);
    // The folder and the part file are made and registered under the lock
    // the exit handler takes: an exit at any moment finds them listed.
    RunningDownloads& running = runningDownloads();
    RunningDownload files;
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(running.mutex);
        if (running.ending.load()) {
            result.error = "The program is ending.";
            result.cancelled = true;
            return result;
        }
        std::string folderTemplate = tempRoot() + "/" + folderPrefix + "XXXXXX";
        std::vector<char> folderBuffer(folderTemplate.begin(), folderTemplate.end());
        folderBuffer.push_back('\0');
        if (!::mkdtemp(folderBuffer.data())) {  // made with mode 0700
            result.error = "mkdtemp " + folderTemplate + ": " + std::strerror(errno);
            return result;
        }
        files.folder = folderBuffer.data();
        files.partPath = files.folder + "/" + fileName + ".part";
        files.finalPath = files.folder + "/" + fileName;
        fd = ::open(files.partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            result.error = "open " + files.partPath + ": " + std::strerror(errno);
            ::rmdir(files.folder.c_str());
            return result;
        }
        running.downloads.push_back(files);
        if (!running.handlerInstalled)
            running.handlerInstalled = std::atexit(exitHandler) == 0;
    }
    const std::string& partPath = files.partPath;
    const std::string& finalPath = files.finalPath;
    // Ends the download's registration; on failure (ok false) its files go too.
    const auto finish = [&](bool ok) {
        std::lock_guard<std::mutex> lock(running.mutex);
        if (!ok)
            removeFiles(files);
        auto& list = running.downloads;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const RunningDownload& d) { return d.folder == files.folder; }),
                   list.end());
        running.left.notify_all();
    };
    // The program ending stops the transfer too, at its next progress check.
    request.shouldCancel = [callerCancel = std::move(request.shouldCancel), &running] {
        return running.ending.load() || (callerCancel && callerCancel());
    };
    int writeErrno = 0;
    request.bodySink = [fd, &writeErrno](const char* data, size_t size) {
        if (writeAll(fd, data, size))
            return true;
        writeErrno = errno;
        return false;
    };
    const HttpsResponse response = transport.perform(request);
    bool closed = ::close(fd) == 0;
    if (!closed && writeErrno == 0)
        writeErrno = errno;
    result.status = response.status;
    result.cancelled = response.cancelled;

    if (writeErrno != 0) {
        result.error = "write " + partPath + ": " + std::strerror(writeErrno);
    } else if (!response.completed) {
        result.error = response.error.empty() ? "The download did not complete." : response.error;
    } else if (response.status < 200 || response.status > 299) {
        result.error = "The server answered " + std::to_string(response.status) + " for " + request.url + ".";
    } else if (response.bodyBytes == 0) {
        result.error = "The server sent an empty file for " + request.url + ".";
    } else if (::rename(partPath.c_str(), finalPath.c_str()) != 0) {
        // Also when endRunningDownloads removed the part file under the transfer.
        result.error = "rename " + partPath + ": " + std::strerror(errno);
    } else {
        result.ok = true;
        result.path = finalPath;
        finish(true);
        return result;
    }
    finish(false);
    return result;
}

int endRunningDownloads(int waitMs) {
    RunningDownloads& running = runningDownloads();
    std::unique_lock<std::mutex> lock(running.mutex);
    running.ending = true;
    const int count = static_cast<int>(running.downloads.size());
    // Each transfer stops at its next progress check and removes its files.
    running.left.wait_for(lock, std::chrono::milliseconds(std::max(waitMs, 0)),
                          [&running] { return running.downloads.empty(); });
    // Whatever has not stopped yet writes on into a file no longer there.
    for (const RunningDownload& d : running.downloads)
        removeFiles(d);
    running.downloads.clear();
    return count;
}

void removePrivateDownload(const std::string& path) {
    if (path.empty())
        return;
    ::unlink(path.c_str());
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        ::rmdir(path.substr(0, slash).c_str());  // fails, harmlessly, unless empty
}

}  // namespace qv

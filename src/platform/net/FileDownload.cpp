#include "platform/net/FileDownload.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qv {

namespace {

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
    std::string folderTemplate = tempRoot() + "/" + folderPrefix + "XXXXXX";
    std::vector<char> folderBuffer(folderTemplate.begin(), folderTemplate.end());
    folderBuffer.push_back('\0');
    if (!::mkdtemp(folderBuffer.data())) {  // made with mode 0700
        result.error = "mkdtemp " + folderTemplate + ": " + std::strerror(errno);
        return result;
    }
    const std::string folder(folderBuffer.data());
    const std::string partPath = folder + "/" + fileName + ".part";
    const std::string finalPath = folder + "/" + fileName;
    const auto cleanUp = [&] {
        ::unlink(partPath.c_str());
        ::unlink(finalPath.c_str());
        ::rmdir(folder.c_str());
    };

    const int fd = ::open(partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        result.error = "open " + partPath + ": " + std::strerror(errno);
        ::rmdir(folder.c_str());
        return result;
    }
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
        result.error = "rename " + partPath + ": " + std::strerror(errno);
    } else {
        result.ok = true;
        result.path = finalPath;
        return result;
    }
    cleanUp();
    return result;
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

// Plays quorvane ending while it downloads an update, in a process of its
// own: sets up HTTPS and the signal handlers as quorvane's main does, starts
// the update download of the address in argv[1] (argv[2]: the CA file to
// trust), prints "downloading <part file>" once the partial file in $TMPDIR
// holds bytes, then ends as quorvane does on Ctrl+C: the signal handler
// clears gRunning and main returns at once, with the download's worker still
// running.
//
//   qv_update_download_child URL CA_FILE

#include "app/AppGlobals.h"
#include "platform/Signals.h"
#include "platform/net/HttpsTransport.h"
#include "ui/dialogs/InstallerDownload.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

// The partial file of the running download, once it holds bytes.
std::string partialFile(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        const std::string path = entry.path().string();
        if (path.size() > 5 && path.compare(path.size() - 5, 5, ".part") == 0 && entry.is_regular_file(ec) &&
            entry.file_size(ec) > 0)
            return path;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qv_update_download_child URL CA_FILE\n");
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    if (!tmp || !*tmp) {
        std::fprintf(stderr, "TMPDIR is not set\n");
        return 2;
    }
    std::string httpsError;
    if (!qv::httpsGlobalInit(&httpsError)) {
        std::fprintf(stderr, "HTTPS unavailable: %s\n", httpsError.c_str());
        return 2;
    }
    qv::installTerminationHandlers(&qv::gRunning);
    qv::InstallerDownloadOptions options;
    options.caFile = argv[2];
    if (!qv::startInstallerDownload(argv[1], options)) {
        std::fprintf(stderr, "the download did not start: %s\n", qv::installerError().c_str());
        return 3;
    }
    std::string part;
    while (qv::gRunning.load() != 0 && part.empty()) {
        if (qv::gInstallerState.load() != qv::kInstallerDownloading) {
            std::fprintf(stderr, "the download ended early: %s\n", qv::installerError().c_str());
            return 4;
        }
        part = partialFile(tmp);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!part.empty()) {
        std::printf("downloading %s\n", part.c_str());
        std::fflush(stdout);
    }
    while (qv::gRunning.load() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
}

#pragma once
// Downloads one https:// address into a file of its own: a private folder
// made for it (mode 0700, under $TMPDIR or /tmp), the body written to a
// temporary name there and renamed to the final name only when the transfer
// is complete. Success needs a 2xx reply and a complete, non-empty body; on
// any failure nothing is left behind (file and folder removed).
//
// Runs on the caller's thread for as long as the transfer takes (a worker);
// the request's shouldCancel ends it early. The program may end while a
// worker still runs, and a worker never gets to clean up after the process
// is gone: every download is listed while it runs, and an exit handler
// (std::atexit, installed by the first download) ends those still running
// (endRunningDownloads), so no exit that runs the exit handlers (returning
// from main, std::exit) leaves a partial download behind or a transfer
// inside the TLS library while that library cleans up.

#include "platform/net/HttpsTransport.h"

#include <string>

namespace qv {

struct FileDownloadResult {
    bool ok = false;
    bool cancelled = false;
    int status = 0;          // HTTP status, 0 when none arrived
    std::string path;        // the complete file (ok only)
    std::string error;       // why it failed, for users and logs
};

// `request` gives the address, limits, CA file and cancel check (its
// bodySink is replaced; its cancel check also answers true once
// endRunningDownloads ran); `fileName` is the file's name in the new folder
// (a plain name: no '/', not "." or ".."); `folderPrefix` starts the
// folder's name ("<prefix>XXXXXX").
FileDownloadResult downloadToPrivateFile(IHttpsTransport& transport, HttpsRequest request, const std::string& fileName,
                                         const std::string& folderPrefix);

// Removes a file that downloadToPrivateFile made and then its folder (only
// when that is left empty). Nothing happens for an empty path.
void removePrivateDownload(const std::string& path);

// How long the exit handler waits for running transfers to stop. A transfer
// checks for cancelling at least about once a second, also when it stalls.
inline constexpr int kDownloadExitWaitMs = 2000;

// Ends every download running in this process: their transfers stop at their
// next progress check (each then removes its files) and new downloads are
// refused from now on. Waits up to waitMs for the running ones to stop, then
// removes the partial file and folder of any still running. The exit
// handler, with kDownloadExitWaitMs; safe to call more than once, from any
// thread but a download's own. Returns how many were running.
int endRunningDownloads(int waitMs);

// The last part of an address's path, made safe as a file name (letters,
// digits, '.', '-', '_' and '+'; nothing else, no leading '.'), or
// `fallback` when nothing usable is left.
std::string downloadFileName(const std::string& url, const std::string& fallback);

}  // namespace qv

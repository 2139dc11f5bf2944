#pragma once
// Downloads one https:// address into a file of its own: a private folder
// made for it (mode 0700, under $TMPDIR or /tmp), the body written to a
// temporary name there and renamed to the final name only when the transfer
// is complete. Success needs a 2xx reply and a complete, non-empty body; on
// any failure nothing is left behind (file and folder removed).
//
// Runs on the caller's thread for as long as the transfer takes (a worker);
// the request's shouldCancel ends it early.

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
// bodySink is replaced); `fileName` is the file's name in the new folder
// (a plain name: no '/', not "." or ".."); `folderPrefix` starts the
// folder's name ("<prefix>XXXXXX").
FileDownloadResult downloadToPrivateFile(IHttpsTransport& transport, HttpsRequest request, const std::string& fileName,
                                         const std::string& folderPrefix);

// Removes a file that downloadToPrivateFile made and then its folder (only
// when that is left empty). Nothing happens for an empty path.
void removePrivateDownload(const std::string& path);

// The last part of an address's path, made safe as a file name (letters,
// digits, '.', '-', '_' and '+'; nothing else, no leading '.'), or
// `fallback` when nothing usable is left.
std::string downloadFileName(const std::string& url, const std::string& fallback);

}  // namespace qv

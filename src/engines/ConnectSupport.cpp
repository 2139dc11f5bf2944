#include "engines/ConnectSupport.h"

#include "platform/Output.h"
#include "platform/PrintableText.h"

namespace qv {

std::string openProblem(const SharedMemoryMap& map) {
    return map.lastOpenFoundNoFile() ? std::string() : map.lastError();
}

bool isPageUsable(const SharedMemoryMap& map) {
    const ShmFileState state = map.fileState();
    return state == ShmFileState::Intact || state == ShmFileState::Removed;
}

void reportConnectProblem(const char* tag, const std::string& text, std::string& lastReported) {
    if (text.empty()) {
        lastReported.clear();
        return;
    }
    if (text == lastReported)
        return;
    lastReported = text;
    // The text may quote the environment (the folder) or the map itself.
    errPrint("%s ERROR: %s\n", tag, printableText(text).c_str());
}

}  // namespace qv

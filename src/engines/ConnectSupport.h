#pragma once
// What every engine does alike around its simulator's shared memory: judging
// whether a mapped page is still the simulator's, and telling the user about
// a connect failure once.

#include "platform/SharedMemory.h"

#include <string>

namespace qv {

// The problem worth reporting for a map whose open() failed: empty when the
// file simply does not exist (the simulator is not running), else the map's
// error.
std::string openProblem(const SharedMemoryMap& map);

// Still safe to read and still the simulator's current page. A page file
// that is gone from its name is still whole (the simulator quit and left
// it); one that shrank would fault, and a newer file under the name means
// the simulator started again.
bool isPageUsable(const SharedMemoryMap& map);

// Tells the user about a connect failure once: connect() is retried every
// 2 s, so a problem is printed ("<tag> ERROR: <text>") only when it differs
// from the last one printed. An empty text (the simulator is simply not
// running) prints nothing and forgets the last problem.
void reportConnectProblem(const char* tag, const std::string& text, std::string& lastReported);

}  // namespace qv

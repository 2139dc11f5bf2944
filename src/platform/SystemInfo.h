#pragma once
// What the running system calls itself, for the headers of diagnostic logs.

#include <string>

namespace qv {

// "<system> <release> <version> <machine>" as uname(2) gives them, for
// instance "Linux 6.1.0-18-amd64 #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1
// x86_64"; "unknown" when uname fails.
std::string systemDescription();

}  // namespace qv

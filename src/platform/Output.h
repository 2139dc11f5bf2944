#pragma once
// Ordered standard output and standard error that never block the caller.
//
// Every line the program prints goes through here, so log lines from any
// thread keep their order and a slow terminal or a full pipe cannot stall the
// 120 Hz loop: text is queued (up to kOutputQueueLimit bytes; more is dropped
// and counted) and a writer thread of its own does the blocking writes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace qv {

inline constexpr size_t kOutputQueueLimit = 1u << 20;

enum class OutputStream { StandardOutput, StandardError };

void outWrite(std::string_view text);
void errWrite(std::string_view text);
void outPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void errPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Waits up to timeoutMs for the queue to drain; true when everything was written.
bool outputFlush(int timeoutMs);

// Bytes dropped because the queue was full.
uint64_t outputDroppedBytes();

// True when standard output is a terminal.
bool standardOutputIsTerminal();

// While an OutputCapture lives, text goes to it instead of the real streams
// (tests). Captures do not nest.
class OutputCapture {
public:
    using Sink = std::function<void(OutputStream, std::string_view)>;
    explicit OutputCapture(Sink sink);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;
};

}  // namespace qv

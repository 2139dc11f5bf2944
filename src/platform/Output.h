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

// The console's own drawing on standard output (escape sequences and cells,
// AnsiConsole): written as it is, never moved into the message area.
void outWriteDrawing(std::string_view text);

// While a terminal shows the dashboard, the lines written to it (outWrite,
// outPrint, errWrite, errPrint on a stream that is that terminal) go to the
// message area, rows firstRow..lastRow (0-based), which the console has made
// the terminal's scrolling region: each write saves the cursor and colours,
// goes to the area's last row, scrolls the area up by one line, writes in the
// terminal's default colours and puts the cursor and colours back. So no
// late line lands inside the drawn rows. firstRow > lastRow turns it off.
void setTerminalMessageArea(int firstRow, int lastRow, bool standardOutput, bool standardError);
// What a write to the message area's last row sends for `text` (one line
// feed at its end is taken as the end of the line).
std::string messageAreaText(std::string_view text, int lastRow);

// Waits up to timeoutMs for the queue to drain; true when everything was written.
bool outputFlush(int timeoutMs);

// Bytes dropped because the queue was full.
uint64_t outputDroppedBytes();

// True when standard output (error) is a terminal.
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();
// Rows of the terminal on standard output; 0 when unknown.
int terminalRowCount();

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

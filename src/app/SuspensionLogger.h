#pragma once
// The suspension logger: on the L key it records one CSV row per new
// telemetry sample into "susp_log.csv" in the application data folder, for
// at most kLoggerMaxRows rows (two minutes at 120 Hz). The columns are the
// current engine's (writeCsvHeader, writeCsvRow); the logger owns the file,
// the first column (whole milliseconds since the start) and the limit.
//
// Main thread only. Times come from the injected clock. A file that cannot be
// opened leaves the logger off and says so on the console's logger row (and
// on standard error); write errors while recording are reported once, when
// the recording stops.

#include "app/AppServices.h"
#include "platform/Clock.h"
#include "platform/Console.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace qv {

inline constexpr int kLoggerMaxRows = 14400;
inline constexpr int kLoggerMaxSeconds = 120;
inline constexpr const char* kLoggerFileName = "susp_log.csv";

class SuspensionLogger : public ISuspensionLogger {
public:
    SuspensionLogger(IClock& clock, IConsole& console);
    ~SuspensionLogger() override;
    SuspensionLogger(const SuspensionLogger&) = delete;
    SuspensionLogger& operator=(const SuspensionLogger&) = delete;

    bool isRecording() const override { return m_file != nullptr; }
    // Truncates folder + "susp_log.csv" and writes the engine's header.
    // Already recording: nothing changes and the result is true.
    bool start(ISimHapticEngine& engine, const std::string& folder) override;
    // Flushes and closes the file; nothing when not recording.
    void stop() override;
    bool writeRow(ISimHapticEngine& engine) override;
    // Whole seconds left of the two minutes; 0 when not recording.
    int secondsLeft() const override;
    int rows() const override { return m_rowCount; }

    // The path of the last start and the text of the last failure.
    const std::string& path() const { return m_path; }
    const std::string& lastError() const { return m_lastError; }

private:
    void reportError(const std::string& text);

    IClock& m_clock;
    IConsole& m_console;
    std::FILE* m_file = nullptr;
    uint64_t m_startMs = 0;
    int m_rowCount = 0;
    std::string m_path;
    std::string m_lastError;
    std::string m_row;  // reused for every row
};

}  // namespace qv

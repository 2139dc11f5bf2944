#pragma once
// "wizard_log.txt": a plain-text log of one run of the device wizard, kept
// in the settings folder so that a user can send it along with a question.
//
// Each run appends a header (date and system) and then lines stamped with the
// seconds since the log was opened, "[   1.234s] text", each flushed at once.
// A file grown past kWizardLogLimitBytes is cut to the whole lines of its
// last kWizardLogKeepBytes before the run appends to it. Any failure (a
// folder that cannot be made or written, a file that is not a regular file)
// leaves the log closed and every later call a no-op: logging never gets in
// the way of the wizard. GUI thread only.

#include "platform/Clock.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace qv {

inline constexpr const char* kWizardLogFileName = "wizard_log.txt";
inline constexpr uint64_t kWizardLogLimitBytes = 524288;
inline constexpr uint64_t kWizardLogKeepBytes = 262144;
inline constexpr const char* kWizardLogTruncatedLine = "[log truncated -- older entries removed]\n\n";

class WizardLog {
public:
    // `clock` stamps the lines; null: the system clock.
    explicit WizardLog(IClock* clock = nullptr);
    ~WizardLog();
    WizardLog(const WizardLog&) = delete;
    WizardLog& operator=(const WizardLog&) = delete;

    // Closes an open log, then opens `folder` + kWizardLogFileName for
    // appending (making the folder when missing), cuts an oversized file and
    // writes the header. False when anything failed; the log is then closed.
    bool open(const std::string& folder);
    bool isOpen() const { return m_file != nullptr; }
    // printf-style; one line per call.
    void log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes the closing lines and closes; nothing when not open.
    void close();
    // Seconds since open() (0 when closed).
    double seconds() const;
    const std::string& path() const { return m_path; }

private:
    IClock* m_clock;
    std::FILE* m_file = nullptr;
    uint64_t m_startNs = 0;
    std::string m_path;
};

// Cuts the file at `path` when it is larger than kWizardLogLimitBytes: keeps
// the whole lines of its last kWizardLogKeepBytes under kWizardLogTruncatedLine
// (a tail without any line feed is kept whole). True when the file is fine
// afterwards (cut, small enough or missing); false with `error` when it could
// not be read or rewritten.
bool truncateWizardLogFile(const std::string& path, std::string* error = nullptr);

}  // namespace qv

#include "app/SuspensionLogger.h"

#include "app/ConsoleStatus.h"
#include "engines/ISimHapticEngine.h"
#include "platform/Files.h"
#include "platform/Output.h"
#include "platform/PrintableText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qv {

namespace {

// Wide enough to overwrite the longest status text of the logger row.
constexpr size_t kLoggerLineWidth = 72;

std::string padded(std::string text) {
    if (text.size() < kLoggerLineWidth)
        text.append(kLoggerLineWidth - text.size(), ' ');
    return text;
}

}  // namespace

SuspensionLogger::SuspensionLogger(IClock& clock, IConsole& console) : m_clock(clock), m_console(console) {
    m_row.reserve(1024);
}

SuspensionLogger::~SuspensionLogger() { stop(); }

void SuspensionLogger::reportError(const std::string& text) {
    // The text names the settings folder, which comes from the environment.
    m_lastError = printableText(text);
    if (m_console.isAttached()) {
        m_console.setColor(ConsoleAttr::kRed);
        m_console.setCursor(0, kLoggerRow);
        std::string line = padded("  [ Susp Logger ]  ERROR: " + m_lastError);
        line.resize(std::min<size_t>(line.size(), kConsoleColumns - 1));
        m_console.write(line);
    } else {
        errPrint("  [ Susp Logger ]  ERROR: %s\n", m_lastError.c_str());
    }
}

bool SuspensionLogger::start(ISimHapticEngine& engine, const std::string& folder) {
    if (isRecording())
        return true;
    m_path = folder;
    if (!m_path.empty() && m_path.back() != '/')
        m_path.push_back('/');
    m_path += kLoggerFileName;

    // Never blocks: this runs on the 120 Hz loop, and a pipe planted at the
    // name would stall it in the open.
    std::string openError;
    m_file = openOutputFile(m_path, &openError);
    if (!m_file) {
        reportError("cannot record: " + openError);
        return false;
    }
    std::string header;
    if (engine.writeCsvHeader(header) && std::fwrite(header.data(), 1, header.size(), m_file) != header.size()) {
        const std::string reason = std::strerror(errno);
        std::fclose(m_file);
        m_file = nullptr;
        reportError("cannot write " + m_path + " (" + reason + ")");
        return false;
    }
    m_startMs = m_clock.nowMs();
    m_rowCount = 0;
    return true;
}

void SuspensionLogger::stop() {
    if (!m_file)
        return;
    const bool flushed = std::fflush(m_file) == 0;
    const int flushErrno = errno;
    const bool closed = std::fclose(m_file) == 0;
    const int closeErrno = errno;
    m_file = nullptr;
    m_rowCount = 0;
    if (!flushed || !closed) {
        // The last rows did not reach the file. The run loop's "SAVED" line
        // follows on the console, so this goes to standard error as well.
        m_lastError = std::string("writing ") + kLoggerFileName + " failed (" +
                      std::strerror(!flushed ? flushErrno : closeErrno) + "); the file is incomplete";
        errPrint("  [ Susp Logger ]  ERROR: %s\n", m_lastError.c_str());
    }
}

bool SuspensionLogger::writeRow(ISimHapticEngine& engine) {
    if (!m_file)
        return false;
    if (m_rowCount > kLoggerMaxRows - 1) {
        stop();
        return true;
    }
    m_row.clear();
    if (!engine.writeCsvRow(m_row))
        return false;

    const size_t comma = m_row.find(',');
    if (comma != std::string::npos) {
        char stamp[24];
        const int n = std::snprintf(stamp, sizeof stamp, "%llu",
                                    static_cast<unsigned long long>(m_clock.nowMs() - m_startMs));
        m_row.replace(0, comma, stamp, static_cast<size_t>(n));
    }
    if (std::fwrite(m_row.data(), 1, m_row.size(), m_file) != m_row.size()) {
        // A full disk or a vanished folder: the rows from here on would be
        // lost, so the recording ends now instead of pretending to go on.
        const std::string reason = std::strerror(errno);
        std::fclose(m_file);
        m_file = nullptr;
        m_rowCount = 0;
        reportError(std::string("writing ") + kLoggerFileName + " failed (" + reason + ") -- recording stopped");
        return false;
    }
    ++m_rowCount;
    return false;
}

int SuspensionLogger::secondsLeft() const {
    if (!m_file)
        return 0;
    const uint64_t elapsedSeconds = (m_clock.nowMs() - m_startMs) / 1000;
    return elapsedSeconds >= static_cast<uint64_t>(kLoggerMaxSeconds)
               ? 0
               : kLoggerMaxSeconds - static_cast<int>(elapsedSeconds);
}

}  // namespace qv

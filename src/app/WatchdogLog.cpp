#include "app/WatchdogLog.h"

#include "platform/Clock.h"
#include "platform/Files.h"

namespace qv {

WatchdogLog::~WatchdogLog() { close(); }

bool WatchdogLog::open(const std::string& path, std::string* error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
    m_file = openOutputFile(path, error);
    return m_file != nullptr;
}

bool WatchdogLog::isOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_file != nullptr;
}

std::string WatchdogLog::stamp(int hour, int minute, int second, int millisecond) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "[%02d:%02d:%02d.%03d] ", hour, minute, second, millisecond);
    return buffer;
}

void WatchdogLog::write(std::string_view text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_file)
        return;
    const LocalTimeOfDay t = localTimeOfDay();
    std::string line = stamp(t.hour, t.minute, t.second, t.millisecond);
    line.append(text);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fflush(m_file);
}

void WatchdogLog::close() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
    m_file = nullptr;
}

}  // namespace qv

#include "ui/dialogs/WizardLog.h"

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace qv {

namespace {

SystemClock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace

bool truncateWizardLogFile(const std::string& path, std::string* error) {
    std::error_code code;
    const auto status = std::filesystem::status(path, code);
    if (!std::filesystem::exists(status))
        return true;
    if (!std::filesystem::is_regular_file(status)) {
        if (error)
            *error = path + " is not a regular file";
        return false;
    }
    const uint64_t size = std::filesystem::file_size(path, code);
    if (code) {
        if (error)
            *error = "file_size " + path + ": " + code.message();
        return false;
    }
    if (size <= kWizardLogLimitBytes)
        return true;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (error)
            *error = "fopen " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string tail(kWizardLogKeepBytes, '\0');
    size_t got = 0;
    if (std::fseek(file, -static_cast<long>(kWizardLogKeepBytes), SEEK_END) == 0)
        got = std::fread(tail.data(), 1, tail.size(), file);
    std::fclose(file);
    if (got != tail.size()) {
        if (error)
            *error = "read " + path + ": short read";
        return false;
    }
    const size_t lineFeed = tail.find('\n');
    if (lineFeed != std::string::npos)
        tail.erase(0, lineFeed + 1);
    return writeFileAtomically(path, std::string(kWizardLogTruncatedLine) + tail, error);
}

WizardLog::WizardLog(IClock* clock) : m_clock(clock ? clock : &systemClock()) {}

WizardLog::~WizardLog() {
    if (m_file)
        std::fclose(m_file);
}

bool WizardLog::open(const std::string& folder) {
    close();
    std::string base = folder;
    if (!base.empty() && base.back() != '/')
        base.push_back('/');
    if (!base.empty() && !makeFolders(base))
        return false;
    m_path = base + kWizardLogFileName;
    if (!truncateWizardLogFile(m_path))
        return false;
    m_file = std::fopen(m_path.c_str(), "a");
    if (!m_file)
        return false;
    m_startNs = m_clock->nowNs();
    char date[32] = "unknown";
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    if (localtime_r(&now, &local))
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    const int written = std::fprintf(m_file,
                                     "\n========================================\n"
                                     "Quor Vane -- Device Wizard Log\n"
                                     "Date:    %s\n"
                                     "System:  %s\n"
                                     "========================================\n\n",
                                     date, systemDescription().c_str());
    if (written < 0 || std::fflush(m_file) != 0) {
        std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    return true;
}

double WizardLog::seconds() const {
    if (!m_file)
        return 0.0;
    return static_cast<double>(m_clock->nowNs() - m_startNs) / 1e9;
}

void WizardLog::log(const char* format, ...) {
    if (!m_file)
        return;
    std::fprintf(m_file, "[%8.3fs] ", seconds());
    va_list args;
    va_start(args, format);
    std::vfprintf(m_file, format, args);
    va_end(args);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

void WizardLog::close() {
    if (!m_file)
        return;
    log("Wizard log closed.");
    std::fputs("\n========================================\n", m_file);
    std::fflush(m_file);
    std::fclose(m_file);
    m_file = nullptr;
}

}  // namespace qv

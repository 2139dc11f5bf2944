#pragma once
// Collects what the program prints through platform/Output while it lives
// (captures do not nest), standard output and standard error apart.

#include "platform/Output.h"

#include <mutex>
#include <string>

namespace qv::test {

class CapturedOutput {
public:
    std::string out() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_out;
    }
    std::string err() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_err;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_out.clear();
        m_err.clear();
    }

private:
    std::mutex m_mutex;
    std::string m_out, m_err;
    OutputCapture m_capture{[this](OutputStream stream, std::string_view text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        (stream == OutputStream::StandardOutput ? m_out : m_err).append(text);
    }};
};

}  // namespace qv::test

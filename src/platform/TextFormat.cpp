#include "platform/TextFormat.h"

#include <cstdio>

namespace qv {

FormattedText::FormattedText(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(m_inline, sizeof m_inline, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    const size_t size = static_cast<size_t>(n);
    if (size < sizeof m_inline) {
        m_view = std::string_view(m_inline, size);
        return;
    }
    m_heap.resize(size + 1);
    std::vsnprintf(m_heap.data(), m_heap.size(), format, args);
    m_heap.resize(size);
    m_view = m_heap;
}

void vappendFormat(std::string& out, const char* format, va_list args) {
    const FormattedText text(format, args);
    out += text.view();
}

void appendFormat(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vappendFormat(out, format, args);
    va_end(args);
}

std::string formatText(const char* format, ...) {
    std::string out;
    va_list args;
    va_start(args, format);
    vappendFormat(out, format, args);
    va_end(args);
    return out;
}

}  // namespace qv

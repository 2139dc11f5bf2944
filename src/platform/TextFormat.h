#pragma once
// printf-style formatting into text of any length: the one helper behind the
// console, the output queue, the dashboards and the log lines. Nothing is cut;
// a format error gives empty text.

#include <cstdarg>
#include <string>
#include <string_view>

namespace qv {

// The formatted text of `format` and `args`. Text shorter than the inline
// buffer is formatted without allocating; longer text goes to the heap.
// `args` is used up, as by vsnprintf.
class FormattedText {
public:
    FormattedText(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    FormattedText(const FormattedText&) = delete;
    FormattedText& operator=(const FormattedText&) = delete;

    // Valid while this object lives.
    std::string_view view() const { return m_view; }

private:
    char m_inline[1024];
    std::string m_heap;
    std::string_view m_view;
};

void vappendFormat(std::string& out, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
void appendFormat(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qv

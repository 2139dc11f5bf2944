// Reading a dashboard back from the recording console's screen.
#pragma once

#include "platform/Console.h"

#include <string>

namespace qv::test {

inline std::string trimmed(std::string row) {
    while (!row.empty() && row.back() == ' ')
        row.pop_back();
    return row;
}

// A whole row without its trailing blanks.
inline std::string trimmedRow(const IConsole& console, int row) { return trimmed(console.screen().rowText(row)); }

// The text at (column, row), `length` characters.
inline std::string textAt(const IConsole& console, int column, int row, size_t length) {
    return console.screen().rowText(row).substr(static_cast<size_t>(column), length);
}

inline int attributeAt(const IConsole& console, int column, int row) {
    return console.screen().cell(column, row).attribute;
}

}  // namespace qv::test

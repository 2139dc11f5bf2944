#include "platform/ConsoleMirror.h"

namespace qv {

namespace {

bool sameCells(const std::vector<ConsoleCell>& a, const std::vector<ConsoleCell>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].ch != b[i].ch || a[i].attribute != b[i].attribute)
            return false;
    return true;
}

}  // namespace

bool ConsoleMirror::publishIfDue(const ConsoleScreen& screen, uint64_t nowMs) {
    if (m_published && nowMs - m_lastMs < m_intervalMs)
        return false;
    m_lastMs = nowMs;
    m_scratch.resize(static_cast<size_t>(kConsoleColumns) * kConsoleRows);
    for (int row = 0; row < kConsoleRows; ++row)
        for (int column = 0; column < kConsoleColumns; ++column)
            m_scratch[static_cast<size_t>(row) * kConsoleColumns + column] = screen.cell(column, row);
    std::lock_guard lock(m_mutex);
    if (m_published && sameCells(m_scratch, m_cells))
        return false;
    m_cells.swap(m_scratch);
    m_published = true;
    m_version.fetch_add(1, std::memory_order_release);
    return true;
}

uint64_t ConsoleMirror::read(std::vector<ConsoleCell>& cells) const {
    std::lock_guard lock(m_mutex);
    if (m_cells.empty())
        cells.assign(static_cast<size_t>(kConsoleColumns) * kConsoleRows, ConsoleCell{});
    else
        cells = m_cells;
    return m_version.load(std::memory_order_acquire);
}

}  // namespace qv

#include "row_ids.h"

#include <algorithm>

namespace korvex::findreplace {

void RowIds::clear() {
    m_runs.clear();
    m_runs.shrink_to_fit();
    m_size = 0;
}

size_t RowIds::runOf(int row) const {
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), row,
                                        [](int r, const Run& run) { return r < run.firstRow; });
    return size_t(after - m_runs.begin()) - 1;
}

int RowIds::runEnd(size_t run) const {
    return run + 1 < m_runs.size() ? m_runs[run + 1].firstRow : m_size;
}

qint64 RowIds::operator[](int row) const {
    const Run& run = m_runs[runOf(row)];
    return run.firstId + (row - run.firstRow);
}

void RowIds::push_back(qint64 id) {
    if (m_runs.empty() || id != (*this)[m_size - 1] + 1)
        m_runs.push_back({m_size, id});
    ++m_size;
}

size_t RowIds::splitAt(int row) {
    const size_t i = runOf(row);
    const Run run = m_runs[i];
    if (run.firstRow == row)
        return i;
    m_runs.insert(m_runs.begin() + qsizetype(i) + 1, {row, run.firstId + (row - run.firstRow)});
    return i + 1;
}

void RowIds::erase(int from, int to) {
    if (from > to)
        return;
    const int count = to - from + 1;
    const size_t first = splitAt(from);
    const size_t last = to + 1 < m_size ? splitAt(to + 1) : m_runs.size();
    m_runs.erase(m_runs.begin() + qsizetype(first), m_runs.begin() + qsizetype(last));
    for (size_t i = first; i < m_runs.size(); ++i)
        m_runs[i].firstRow -= count;
    m_size -= count;
}

int RowIds::lowerBound(qint64 id) const {
    const auto after = std::upper_bound(m_runs.begin(), m_runs.end(), id,
                                        [](qint64 v, const Run& run) { return v < run.firstId; });
    if (after == m_runs.begin())
        return 0;
    const size_t i = size_t(after - m_runs.begin()) - 1;
    const Run& run = m_runs[i];
    return int(std::min<qint64>(run.firstRow + (id - run.firstId), runEnd(i)));
}

} // namespace korvex::findreplace

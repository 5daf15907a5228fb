#pragma once
// The rowids of a result list in list order, which is rowid order. The rows
// of one write get consecutive rowids, so the ids are held as runs of
// consecutive values: a list of millions of rows, written a batch at a time,
// costs a few bytes per batch rather than eight per row. A run is 16 bytes,
// so a list whose every other row was deleted costs twice what a plain
// array would; rows are found in either case by a binary search over runs.

#include <QtGlobal>

#include <vector>

namespace korvex::findreplace {

class RowIds {
public:
    int size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear();
    // The id of a row, 0 <= row < size().
    qint64 operator[](int row) const;
    // Appends an id above every id held.
    void push_back(qint64 id);
    template <class It> void append(It first, It last) {
        for (; first != last; ++first)
            push_back(*first);
    }
    // Removes rows from..to (inclusive); the rows after them move up.
    void erase(int from, int to);
    // The first row whose id is `id` or above; size() when there is none.
    int lowerBound(qint64 id) const;
    // Runs held (for tests).
    int runs() const { return int(m_runs.size()); }

private:
    struct Run {
        int firstRow;
        qint64 firstId;
    };
    // The run holding `row`, by index.
    size_t runOf(int row) const;
    int runEnd(size_t run) const;
    // Makes a run start at `row` (< size()) and returns its index.
    size_t splitAt(int row);

    std::vector<Run> m_runs; // by firstRow; a run ends where the next begins
    int m_size = 0;
};

} // namespace korvex::findreplace

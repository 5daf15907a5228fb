#include "search_engine.h"

#include <algorithm>

namespace korvex::findreplace {

// A batch costs a part per call and a part per row, and the part per call
// can be most of it: a Calc replace call costs 10 to 30 ms whatever its size,
// more on a busy machine. Judging a batch by its time alone would shrink
// every batch to one row and pay the call for every row. So the cost of one
// more row is learnt from batches of different sizes (never more than a
// batch's average per row), and the rows of a batch are given what the call
// leaves of the budget, but never less than half of it: when the call alone
// takes the whole budget, smaller batches only mean more such calls. A batch
// grows fourfold while four times its rows still fit, as each step towards
// the right size costs one more call. A size kept for a while is doubled or
// halved once to learn the cost of a row again.
// Where the windows go on painting during a host call (Calc), a replace batch
// may take two and a half times as long: Calc's fixed part is then paid less
// often. A click on the stop button waits for the batch under way and for the
// next one, whose rows are stored meanwhile and so must have their cells
// replaced: two such batches stay within the 150 ms a stop may take.
void SearchEngine::sizeNextBatch(int rows, qint64 ms, qint64 storingMs) {
    const double BudgetMs = m_batchBudgetMs;
    constexpr int TriesBeforeProbing = 4;
    if (m_lastBatch.rows > 0 && m_lastBatch.rows != rows)
        m_perRowMs = std::max(0.0, double(ms - m_lastBatch.ms) / double(rows - m_lastBatch.rows));
    if (m_perRowMs >= 0)
        m_perRowMs = std::min(m_perRowMs, double(ms) / rows);
    m_sameSizeBatches = rows == m_lastBatch.rows ? m_sameSizeBatches + 1 : 0;
    m_lastBatch = {rows, ms};
    const bool probe = m_sameSizeBatches >= TriesBeforeProbing;
    int next = rows;
    if (m_perRowMs < 0) {
        if (ms <= BudgetMs / 2)
            next = rows * 2;
        else if (ms > BudgetMs * 4 / 3)
            next = rows / 2;
        else if (probe)
            next = rows * 2;
    } else {
        const double rowsPart = rows * m_perRowMs;
        const double callPart = std::max(0.0, double(ms) - rowsPart);
        const double forRows = std::max(BudgetMs - callPart, BudgetMs / 2);
        if (4 * rowsPart <= forRows)
            next = rows * 4;
        else if (2 * rowsPart <= forRows)
            next = rows * 2;
        else if (rowsPart > forRows * 4 / 3)
            next = rows / 2;
        else if (probe && 2 * rowsPart <= forRows * 4 / 3)
            next = rows * 2;
        else if (probe && rowsPart > forRows)
            next = rows / 2;
    }
    // Storing rows stops the windows whatever the host does.
    if (storingMs > 0 && double(storingMs) / rows * next > BatchBudgetMs)
        next = std::min(next, std::max(rows / 2, int(BatchBudgetMs * rows / double(storingMs))));
    m_batchRows = std::clamp(next, 1, 8192);
}

} // namespace korvex::findreplace

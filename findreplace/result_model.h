#pragma once
// ResultModel: a result table of the work database as a Qt table model, in
// insertion order, with the grid's shown columns bound by field name.
//
// Only the rowids of the table are held in memory (as runs of consecutive ids,
// read in one pass at bind); the texts are read a page at a time when a view
// asks for them and a bounded number of pages is kept. Appending, editing and deleting chosen
// rows change the table and the model together without reading the table again.
// Rowids are only meaningful within one binding: the work database is compacted
// at start-up, which renumbers them, so the model never stores one anywhere.

#include "result_table.h"
#include "row_ids.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QVector>

#include <functional>

class Korvex_C01;

namespace korvex::findreplace {

class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Extra data roles: the row's ordering key ("yyyy/mm/dd hh:mm:ss" followed
    // by seq_no as eight digits) and its seq_no.
    enum Role { OrderKeyRole = Qt::UserRole + 1, SeqNoRole };

    ResultModel(ResultKind kind, Korvex_C01& db, QObject* parent = nullptr);
    ~ResultModel() override;

    ResultKind kind() const { return m_kind; }

    // Reads the table again ("select * from <table>;" must succeed). False when
    // it cannot be read: the model is then empty and unbound.
    bool bind();
    bool isBound() const { return m_bound; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Stores an edit (cut to the field's size) after beforeStore agreed.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The shown text of a cell, "" outside the table or for a missing field.
    QString text(int row, int column) const;
    QString orderKey(int row) const;
    ResultRow row(int row) const;

    // Called before an edit of the result text is stored, with the old and
    // new text. Returning false refuses the edit (nothing stored).
    std::function<bool(int row, int column, const QString& oldText, const QString& newText)>
        beforeStore;

    // Writes the rows (one transaction) and appends them to the model.
    // Throws std::runtime_error, the model unchanged, when the write fails.
    void appendRows(const QList<ResultRow>& rows);
    // Deletions keep what they delete: each one is a step that undoDeletion
    // puts back, last step first, for as long as the work database stays
    // connected (until Korvex ends). Every value is bound, the ordering key
    // included.
    enum class DeleteScope {
        All,
        Before, // ordering key strictly below the given one
        After,  // ordering key strictly above it
    };
    // Deletes the rows in scope in one transaction and reads the table again.
    // False when the database refused: the table and the model unchanged.
    bool deleteRows(DeleteScope scope, const QString& key = QString());
    // Deletes the given rows (model row numbers, any order) from the table in
    // one transaction and from the model. False when the database refused (the
    // table and model unchanged).
    bool removeRowNumbers(QList<int> rows);

    struct Undone {
        enum Outcome { Nothing, Failed, Restored } outcome = Nothing;
        int firstRow = -1; // model row of the first row put back
        int rows = 0;
    };
    // Puts back the rows of the last deletion not yet undone, where they
    // stood in the list; should new rows have taken their places meanwhile,
    // they come back at the end instead, in their old order. Failed leaves
    // the table, the kept rows and the model unchanged.
    Undone undoDeletion();

signals:
    // An edit that beforeStore let through could not be stored.
    void storeFailed(int row);

public:
    // Page reads since bind (for tests and the benchmark).
    int pageReads() const { return m_pageReads; }

private:
    struct Row {
        QStringList texts; // shown columns
        qint32 seqNo = 0;
    };
    struct Page {
        QVector<Row> rows;
        quint64 lastUse = 0;
    };
    static constexpr int kPageRows = 256;
    static constexpr int kMaxPages = 64;

    const Row* rowData(int row) const;
    const Page& page(int pageNo) const;
    // Keeps a page, dropping the least recently used one when too many are kept.
    Page& keepPage(int pageNo, Page pg) const;
    void keepAppended(int first, const QList<ResultRow>& rows);
    void dropPagesFrom(int row);
    bool loadRowIds();
    QString keptTable() const;
    // Keeps the rows `where` picks (with its values) as the next step and
    // deletes them, inside the caller's transaction.
    bool keepAndDelete(const QString& where, const QVariantList& binds, qint64 step);
    qint64 nextStep();

    ResultKind m_kind;
    Korvex_C01& m_db;
    bool m_bound = false;
    RowIds m_rowIds;
    mutable QHash<int, Page> m_pages;
    mutable quint64 m_useClock = 0;
    mutable int m_pageReads = 0;
};

} // namespace korvex::findreplace

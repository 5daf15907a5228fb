#pragma once
// A headless stand-in for the search or replace window, for the engine
// benchmarks: every row goes through the list's model into the work database
// (w_sort or w_replace) exactly as the window's row writer stores it, what a
// replacement wrote is kept beside it, and events are let through when the
// engine asks. Nothing is shown and no message is expected.

#include "engine_window.h"
#include "replace_log.h"
#include "result_model.h"
#include "work_database.h"

#include <QCoreApplication>

#include <cstdio>

namespace korvex::bench {

class BenchWindow : public findreplace::EngineWindow {
public:
    BenchWindow(findreplace::ResultModel& model, Korvex_C01& db, QString book,
                QList<findreplace::SheetEntry> sheets)
        : m_model(model), m_db(db), m_book(std::move(book)), m_sheets(std::move(sheets)) {}

    findreplace::PassState state;
    findreplace::EngineOptions opts;
    int messages = 0;

    findreplace::PassState& pass() override { return state; }
    void ResetFind() override { state.reset(); }
    findreplace::EngineOptions options() const override { return opts; }
    QString targetBook() const override { return m_book; }
    QList<findreplace::SheetEntry> sheetEntries() const override { return m_sheets; }
    void setSheets(QList<findreplace::SheetEntry> sheets) { m_sheets = std::move(sheets); }
    void SetBusy(bool) override {}
    void AddSearchHistory() override {}
    void setGridActive(bool) override {}
    void setMainWindowEnabled(bool) override {}
    void setBusyPointer(bool) override {}
    void AddResultRows(const QString& book, const QList<findreplace::HitRow>& rows) override {
        m_model.appendRows(findreplace::resultRowsOf(book, opts.what, opts.replacement, rows));
    }
    void keepReplaced(const QString& book, const QList<findreplace::ReplacedCell>& cells) override {
        findreplace::keepReplacedCells(m_db, book, cells);
    }
    void commit() override { m_db.Commit(); }
    void showMessage(const QString& id) override {
        ++messages;
        std::printf("message %s\n", qPrintable(id));
    }
    void beep() override { std::printf("beep\n"); }
    void showProgress(const findreplace::EngineProgress&) override {}
    void letEventsThrough() override { QCoreApplication::processEvents(); }

private:
    findreplace::ResultModel& m_model;
    Korvex_C01& m_db;
    QString m_book;
    QList<findreplace::SheetEntry> m_sheets;
};

} // namespace korvex::bench

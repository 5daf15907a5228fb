#pragma once
// The folder search: one text looked for in every sheet of every open book,
// or of every workbook file in a folder, in one run. Files are read through
// the host (Application::openForReading) with the same bulk call the search
// window uses; every occurrence becomes a row of w_folder. The run lets
// events through between host calls so that the window paints and its stop
// button works; the folder walk runs on a worker thread, as a folder may hold
// thousands of files.

#include "host.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace korvex::findreplace {

// What a run searches: the open books, or the files of a folder whose names
// match one of the patterns ("*.xlsx;*.ods"), its subfolders too if asked.
struct FolderTarget {
    bool openBooks = true;
    QString folder;
    QString patterns;
    bool subfolders = false;
};
// The pattern list a new window starts with.
QString defaultFolderPatterns();

// What the window shows while a run works.
struct FolderProgress {
    bool listing = false; // still building the file list
    QString file;         // the file (or open book) being searched
    QString sheet;
    int filesDone = 0;
    int filesTotal = 0;
    qint64 rows = 0;
};

struct SkippedFile {
    QString path;
    // A read that failed after the file was open counts as unreadable.
    host::ReadFailure reason = host::ReadFailure::Unreadable;
    QString detail; // the host's own account, for logs
};

struct FolderSummary {
    qint64 rows = 0;
    int filesDone = 0;
    int filesTotal = 0;
    qint64 elapsedMs = 0;
    bool stopped = false;  // by the user
    bool hostLost = false; // the office went away: the run ended there
    QString storeError;    // the work database refused rows: the run ended there
    QList<SkippedFile> skipped;
};

// The files of a folder whose names match `patterns` (";"-separated, case
// ignored), sorted by path; the office's and other spreadsheets' lock and
// owner files are left out. Stops early, with what it has, once `stop` is set.
// Safe on any thread.
QStringList listWorkbookFiles(const QString& folder, const QString& patterns, bool subfolders,
                              const std::atomic<bool>& stop);

class FolderSearch {
public:
    // `db`: the work database, where w_folder is created if missing.
    FolderSearch(host::Application& app, QSqlDatabase db);

    // Searches the target for `options.what` and stores every occurrence.
    // Skipped files (unreadable, protected, damaged) never end the run.
    FolderSummary run(const FolderTarget& target, const host::FindOptions& options,
                      const std::function<void(const FolderProgress&)>& progress);
    // Asks the run going on to stop: it does after the host call under way.
    void stop() { m_stop = true; }

private:
    void searchBook(const host::WorkbookPtr& book, const QString& label,
                    const host::FindOptions& options, FolderProgress& progress,
                    const std::function<void(const FolderProgress&)>& report);
    void store(const QString& label, const QString& sheet, const std::vector<host::FoundCell>& hits,
               const QString& search);
    QStringList listFiles(const FolderTarget& target, FolderProgress& progress,
                          const std::function<void(const FolderProgress&)>& report);
    // Lets the window paint and take the stop click.
    void breathe();

    host::Application& m_app;
    QSqlDatabase m_db;
    std::atomic<bool> m_stop{false};
    qint32 m_seqNo = 0;
    qint64 m_rows = 0;
};

} // namespace korvex::findreplace

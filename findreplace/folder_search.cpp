#include "folder_search.h"

#include "result_table.h"
#include "result_tables.h"
#include "settings_keys.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace korvex::findreplace {

QString defaultFolderPatterns() {
    return QString::fromUtf8(keys::F05_Patterns.defaultValue);
}

QStringList listWorkbookFiles(const QString& folder, const QString& patterns, bool subfolders,
                              const std::atomic<bool>& stop) {
    QStringList filters;
    for (const QString& p : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!p.trimmed().isEmpty())
            filters << p.trimmed();
    }
    QStringList files;
    if (filters.isEmpty() || folder.isEmpty() || !QFileInfo(folder).isDir())
        return files;
    QDirIterator it(folder, filters, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    subfolders ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
    while (it.hasNext() && !stop) {
        const QString path = it.next();
        const QString name = it.fileName();
        // The office's lock files and the owner files another spreadsheet
        // keeps beside an open book are no workbooks.
        if (name.startsWith(QLatin1String(".~lock.")) || name.startsWith(QLatin1String("~$")))
            continue;
        files << QFileInfo(path).absoluteFilePath();
    }
    std::sort(files.begin(), files.end());
    return files;
}

FolderSearch::FolderSearch(host::Application& app, QSqlDatabase db)
    : m_app(app), m_db(std::move(db)) {}

void FolderSearch::breathe() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QStringList FolderSearch::listFiles(const FolderTarget& target, FolderProgress& progress,
                                    const std::function<void(const FolderProgress&)>& report) {
    progress.listing = true;
    if (report)
        report(progress);
    QStringList files;
    QEventLoop wait;
    std::thread walker([&] {
        files = listWorkbookFiles(target.folder, target.patterns, target.subfolders, m_stop);
        QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection);
    });
    wait.exec();
    walker.join();
    progress.listing = false;
    return files;
}

void FolderSearch::store(const QString& label, const QString& sheet,
                         const std::vector<host::FoundCell>& hits, const QString& search) {
    if (hits.empty())
        return;
    if (!m_db.transaction())
        throw std::runtime_error(m_db.lastError().text().toStdString());
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("insert into %1 (book, sheet, range, search, result, execute, seq_no) "
                             "values (?, ?, ?, ?, ?, ?, ?)")
                  .arg(QLatin1String(results::kFolderTable)));
    for (const auto& hit : hits) {
        q.addBindValue(fitField(label, 1024));
        q.addBindValue(fitField(sheet, 128));
        q.addBindValue(relativeAddress(hit.address));
        q.addBindValue(fitField(search, 255));
        q.addBindValue(fitField(hit.valueText, 255));
        q.addBindValue(executeStamp());
        q.addBindValue(++m_seqNo);
        if (!q.exec()) {
            const std::string why = q.lastError().text().toStdString();
            q.finish();
            m_db.rollback();
            throw std::runtime_error(why);
        }
    }
    q.finish();
    if (!m_db.commit()) {
        const std::string why = m_db.lastError().text().toStdString();
        m_db.rollback();
        throw std::runtime_error(why);
    }
    m_rows += qint64(hits.size());
}

void FolderSearch::searchBook(const host::WorkbookPtr& book, const QString& label,
                              const host::FindOptions& options, FolderProgress& progress,
                              const std::function<void(const FolderProgress&)>& report) {
    for (const host::NamedSheet& sheet : book->worksheets()) {
        if (m_stop)
            break;
        progress.sheet = sheet.name;
        if (report)
            report(progress);
        store(label, sheet.name, sheet.sheet->findAll(options), options.what);
        progress.rows = m_rows;
        breathe();
    }
}

FolderSummary FolderSearch::run(const FolderTarget& target, const host::FindOptions& options,
                                const std::function<void(const FolderProgress&)>& report) {
    QElapsedTimer clock;
    clock.start();
    m_stop = false;
    m_rows = 0;
    FolderSummary summary;
    QSqlQuery(m_db).exec(QLatin1String(results::kCreateFolderTable));
    QSqlQuery(m_db).exec(QLatin1String(results::kCreateFolderIndex));
    {
        QSqlQuery last(m_db);
        m_seqNo = last.exec(QStringLiteral("select max(seq_no) from %1")
                                .arg(QLatin1String(results::kFolderTable))) &&
                          last.next()
                      ? last.value(0).toInt()
                      : 0;
    }
    FolderProgress progress;
    // An open book is looked up by its name; a file by its full path.
    QStringList items;
    try {
        if (target.openBooks) {
            for (const auto& b : m_app.bookList()) {
                if (b.visible) // the office's hidden helper books are nobody's work
                    items << b.name;
            }
        } else {
            items = listFiles(target, progress, report);
        }
    } catch (const host::HostError&) {
        summary.hostLost = true;
    }
    progress.filesTotal = summary.filesTotal = int(items.size());
    for (const QString& item : items) {
        if (m_stop || summary.hostLost || !summary.storeError.isEmpty())
            break;
        progress.file = item;
        progress.sheet.clear();
        if (report)
            report(progress);
        host::ReadingBook reading;
        try {
            // An open book's rows name its file where it has one, so that a
            // click finds it again, open or not, among books of the same name.
            QString label = item;
            if (target.openBooks) {
                reading = {m_app.workbook(item), true};
                label = reading.book->fullName();
            } else {
                reading = m_app.openForReading(item);
            }
            searchBook(reading.book, label, options, progress, report);
        } catch (const host::FileReadError& e) {
            summary.skipped.append({item, e.kind(), e.message()});
            qInfo("Korvex: skipped %s: %s", qUtf8Printable(item), qUtf8Printable(e.message()));
        } catch (const host::HostError& e) {
            summary.skipped.append({item, host::ReadFailure::Unreadable, e.message()});
            qInfo("Korvex: skipped %s: %s", qUtf8Printable(item), qUtf8Printable(e.message()));
            // A host that no longer answers would fail every file after this.
            try {
                m_app.workbookCount();
            } catch (const host::HostError&) {
                summary.hostLost = true;
            }
        } catch (const std::runtime_error& e) {
            summary.storeError = QString::fromStdString(e.what());
        }
        if (reading.book && !reading.wasOpen) {
            try {
                reading.book->close(false);
            } catch (const host::HostError&) {
            }
        }
        ++progress.filesDone;
        progress.rows = m_rows;
        if (report)
            report(progress);
        breathe();
    }
    summary.rows = m_rows;
    summary.filesDone = progress.filesDone;
    summary.stopped = m_stop;
    summary.elapsedMs = clock.elapsed();
    return summary;
}

} // namespace korvex::findreplace

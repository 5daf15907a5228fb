#pragma once
// A LibreOffice of its own for tests and benchmarks: a private X server (when
// Xvfb is there), a private profile with a printer of its own (each job kept
// as a PDF file) and a private pipe, so that nothing the user runs is touched,
// nothing reaches a real printer and runs do not see each other.

#include "calc_connector.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace korvex::calc {

class PrivateOffice {
public:
    // `tag` goes into the pipe name, so two offices of one process differ.
    explicit PrivateOffice(const QString& tag = QStringLiteral("test"));
    ~PrivateOffice();
    PrivateOffice(const PrivateOffice&) = delete;
    PrivateOffice& operator=(const PrivateOffice&) = delete;

    // Starts the office and waits until it answers on its pipe. Without
    // `acceptPipe` the office starts as a user's would, not listening; the
    // wait then relies on the connector handing it the pipe.
    bool start(QString* error = nullptr, bool acceptPipe = true);
    // Ends the office the hard way (SIGKILL), as a crash would.
    void kill();
    // Stops and resumes the office (SIGSTOP / SIGCONT): a frozen host.
    void freeze();
    void thaw();
    bool running() const;
    // The office's process (soffice.bin), for signals sent from another
    // thread; 0 when none runs.
    qint64 processId() const;

    // Options naming this office's pipe, with a short call deadline.
    OfficeOptions options() const;
    QString pipeName() const { return m_pipe; }
    // The X display the office shows its windows on (empty: headless).
    QString display() const { return m_display; }
    // The office's default printer writes each job here, as one PDF file
    // named job-*.pdf: what the user prints from the office's print dialog
    // can be read back.
    QString printFolder() const;
    // The jobs printed so far, oldest first.
    QStringList printedJobs() const;
    std::shared_ptr<host::Connector> connector() const { return makeConnector(options()); }

private:
    bool startDisplay(QString* error);
    bool writePrinterSetup(QString* error) const;
    QString profileUrl() const;

    QString m_pipe;
    QTemporaryDir m_profile;
    QString m_display;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_office;
};

} // namespace korvex::calc

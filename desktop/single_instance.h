#pragma once
// One Korvex per user, work database and office: a second start hands its
// file arguments to the Korvex already running and ends.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace korvex {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket's full path: in the user's runtime folder when there is one,
    // named after the user, the work database and the office connection.
    static QString socketPath(const QString& dbFile, const QString& office);

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when a running Korvex took the files (it opens them and comes to
    // the front); this process should then end.
    bool handOff(const QStringList& files, int timeoutMs = 5000);

    // Becomes the one that later starts hand their files to. A socket left by
    // a Korvex that died is taken over. False when listening is impossible;
    // Korvex then simply runs on its own.
    bool listen();

    // Called for every later start, with its files (possibly none).
    std::function<void(const QStringList& files)> onRequest;

private:
    QString m_path;
    QLocalServer* m_server = nullptr;
};

} // namespace korvex

#pragma once

#include <QLockFile>
#include <QObject>
#include <memory>

class QLocalServer;

// One running instance per user. The first start holds a lock file and listens on a local
// socket in the user's runtime folder; a later start finds the lock taken and asks the first
// one to come forward. A crashed instance leaves a lock whose owner is gone, which QLockFile
// recognises as stale, so leftovers never block the next start.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name = QStringLiteral("ondavo"), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first instance; it then listens for later starts.
    bool tryBecomePrimary();
    // Asks the first instance to come forward; true when it answered within the time given.
    bool activatePrimary(int timeoutMs = 5000);

    QString socketPath() const { return m_socketPath; }

signals:
    void activationRequested();

private:
    QString m_socketPath;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

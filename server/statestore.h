#pragma once

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

class QSqlError;
class QSqlQuery;

// What a restart must not lose, in one SQLite file: the key each name's password is checked against,
// and the pending wake-ups. Bindings are read from the file and never held in memory, so memory stays
// bounded however many there are; the file takes no new binding once it has grown to maxBytes.
class StateStore
{
public:
    static constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

    struct WakeUp
    {
        QString user;
        QString station; // empty: nothing played
        qint64 forgetMs = 0;
    };

    // path: the database file, made readable by its owner only; empty: a private one in memory.
    explicit StateStore(const QString &path = QString(), qint64 maxBytes = kMaxBytes);
    ~StateStore();
    StateStore(const StateStore &) = delete;
    StateStore &operator=(const StateStore &) = delete;

    // Why the state cannot be kept; empty when it can. Nothing else may be called otherwise.
    QString error() const { return m_error; }
    QByteArray salt() const { return m_salt; }

    // The key user's name is bound to, empty when it is free; nothing when the file cannot be read.
    std::optional<QByteArray> binding(const QString &user);
    bool hasRoom(); // for another binding
    // The latest limit wake-ups, expired ones included; sets error() when they cannot be read.
    QList<WakeUp> wakeUps(qsizetype limit);

    // A change is begin(), any of these, then commit(): all of it is on disk when commit() returns
    // true, and none of it when false.
    void begin();
    void bind(const QString &user, const QByteArray &key); // a name already bound keeps its key
    void putWakeUp(const QString &user, const QString &station, qint64 forgetMs);
    // Only the one that ends at forgetMs: another service on the file may have set a new one since.
    void dropWakeUp(const QString &user, qint64 forgetMs);
    bool commit();

private:
    struct Queries;

    QString open(const QString &path);
    void run(QSqlQuery &query, const QVariantList &values);
    void fail(const QSqlError &error);

    QSqlDatabase m_db;
    std::unique_ptr<Queries> m_queries;
    QString m_error;
    QByteArray m_salt;
    qint64 m_maxBytes;
    qint64 m_pageSize = 4096;
    bool m_writing = false; // in a transaction
    bool m_failed = false;
};

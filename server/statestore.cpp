#include "statestore.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

// SQLite stores a null QString as NULL, which no column takes.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

} // namespace

struct StateStore::Queries
{
    QSqlQuery binding;
    QSqlQuery bind;
    QSqlQuery putWakeUp;
    QSqlQuery dropWakeUp;
    QSqlQuery pageCount;
};

StateStore::StateStore(const QString &path, qint64 maxBytes) : m_maxBytes(maxBytes)
{
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                     QStringLiteral("ondavo-state-%1").arg(quintptr(this), 0, 16));
    // Two services started together on one file (the service and the partner host) can find it
    // locked while the other one sets it up, past any busy timeout: they take turns.
    for (int attempt = 0; attempt < 50; ++attempt) {
        m_error = open(path);
        if (!m_error.contains(QLatin1String("locked")))
            break;
        m_db.close();
        QThread::msleep(100);
    }
}

StateStore::~StateStore()
{
    // Queries and handles go first, or Qt warns that the connection is still in use.
    m_queries.reset();
    const QString name = m_db.connectionName();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
}

QString StateStore::open(const QString &path)
{
    if (!m_db.isValid())
        return QStringLiteral("Qt's SQLite driver (QSQLITE) is missing");
    if (!path.isEmpty()) {
        // Its mode is changed below: never a device's or a folder's.
        if (QFileInfo::exists(path) && !QFileInfo(path).isFile())
            return QStringLiteral("not a file");
        // The keys are its owner's only, and so are the journal files SQLite makes with its mode.
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
            !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return file.errorString();
    }
    m_db.setDatabaseName(path.isEmpty() ? QStringLiteral(":memory:") : path);
    // The partner host, run beside this one, may share the file and hold its lock for a moment.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!m_db.open())
        return m_db.lastError().text();

    QSqlQuery query(m_db);
    // With the write-ahead log a commit is one append to it. NORMAL leaves out the flush to the disk:
    // a killed process loses nothing the system has, only a lost machine may lose the last commits.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next())
        return query.lastError().text();
    if (!path.isEmpty() && query.value(0).toString() != QLatin1String("wal"))
        return QStringLiteral("no write-ahead log");
    const char *const setup[] = {
        "PRAGMA synchronous = NORMAL",
        "PRAGMA cache_size = -2048", // KiB
        // Read into that cache, not mapped: a mapped file would count toward the resident size.
        "PRAGMA mmap_size = 0",
        "CREATE TABLE IF NOT EXISTS meta (name TEXT PRIMARY KEY, value BLOB NOT NULL) WITHOUT ROWID",
        "CREATE TABLE IF NOT EXISTS bindings (name TEXT PRIMARY KEY, key BLOB NOT NULL) WITHOUT ROWID",
        "CREATE TABLE IF NOT EXISTS wakeups (name TEXT PRIMARY KEY, station TEXT NOT NULL, "
        "forget INTEGER NOT NULL) WITHOUT ROWID",
        // A write at every start: a file that cannot be written is found now, not at the first login.
        "PRAGMA user_version = 1",
    };
    for (const char *statement : setup) {
        if (!query.exec(QString::fromLatin1(statement)))
            return query.lastError().text();
    }

    // The keys mean nothing without the salt they were made with.
    quint32 salt[4];
    QRandomGenerator::system()->fillRange(salt);
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO meta (name, value) VALUES ('salt', ?)"));
    query.bindValue(0, QByteArray(reinterpret_cast<const char *>(salt), sizeof salt));
    if (!query.exec() || !query.exec(QStringLiteral("SELECT value FROM meta WHERE name = 'salt'")) ||
        !query.next())
        return query.lastError().text();
    m_salt = query.value(0).toByteArray();
    if (!query.exec(QStringLiteral("PRAGMA page_size")) || !query.next())
        return query.lastError().text();
    m_pageSize = query.value(0).toLongLong();
    query.finish();

    m_queries = std::make_unique<Queries>();
    const struct
    {
        QSqlQuery *query;
        const char *statement;
    } statements[] = {
        {&m_queries->binding, "SELECT key FROM bindings WHERE name = ?"},
        {&m_queries->bind, "INSERT OR IGNORE INTO bindings (name, key) VALUES (?, ?)"},
        {&m_queries->putWakeUp, "INSERT OR REPLACE INTO wakeups (name, station, forget) VALUES (?, ?, ?)"},
        {&m_queries->dropWakeUp, "DELETE FROM wakeups WHERE name = ? AND forget = ?"},
        {&m_queries->pageCount, "PRAGMA page_count"},
    };
    for (const auto &[prepared, statement] : statements) {
        *prepared = QSqlQuery(m_db);
        prepared->setForwardOnly(true);
        if (!prepared->prepare(QString::fromLatin1(statement)))
            return prepared->lastError().text();
    }
    return QString();
}

std::optional<QByteArray> StateStore::binding(const QString &user)
{
    if (!m_queries)
        return std::nullopt;
    QSqlQuery &query = m_queries->binding;
    query.bindValue(0, text(user));
    if (!query.exec())
        return std::nullopt;
    const QByteArray key = query.next() ? query.value(0).toByteArray() : QByteArray();
    query.finish(); // an open statement would hold on to its snapshot of the file
    return key;
}

bool StateStore::hasRoom()
{
    if (!m_queries)
        return false;
    QSqlQuery &query = m_queries->pageCount;
    const bool room = query.exec() && query.next() && query.value(0).toLongLong() * m_pageSize < m_maxBytes;
    query.finish();
    return room;
}

QList<StateStore::WakeUp> StateStore::wakeUps(qsizetype limit)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT name, station, forget FROM wakeups ORDER BY forget DESC LIMIT ?"));
    query.bindValue(0, qint64(limit));
    QList<WakeUp> wakeUps;
    if (!query.exec()) {
        m_error = query.lastError().text();
        return wakeUps;
    }
    while (query.next())
        wakeUps.append({query.value(0).toString(), query.value(1).toString(), query.value(2).toLongLong()});
    return wakeUps;
}

void StateStore::begin()
{
    m_failed = !m_queries;
    m_writing = false;
}

void StateStore::bind(const QString &user, const QByteArray &key)
{
    run(m_queries->bind, {text(user), key});
}

void StateStore::putWakeUp(const QString &user, const QString &station, qint64 forgetMs)
{
    run(m_queries->putWakeUp, {text(user), text(station), forgetMs});
}

void StateStore::dropWakeUp(const QString &user, qint64 forgetMs)
{
    run(m_queries->dropWakeUp, {text(user), forgetMs});
}

void StateStore::run(QSqlQuery &query, const QVariantList &values)
{
    if (m_failed)
        return;
    // The transaction starts with the first change: a request that changes nothing takes no lock.
    if (!m_writing && !m_db.transaction()) {
        fail(m_db.lastError());
        return;
    }
    m_writing = true;
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), values.at(i));
    if (!query.exec())
        fail(query.lastError());
}

bool StateStore::commit()
{
    if (!m_writing)
        return !m_failed;
    m_writing = false;
    if (!m_failed && m_db.commit())
        return true;
    if (!m_failed)
        fail(m_db.lastError());
    m_db.rollback();
    return false;
}

void StateStore::fail(const QSqlError &error)
{
    m_failed = true;
    qWarning("ondavo-service: state not stored: %s", qPrintable(error.text()));
}

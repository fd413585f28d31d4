#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <list>
#include <optional>

// One answer of the service, apart from the HTTP server that carries it.
struct PageResponse
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Type
};

// What the service remembers of each listener (by user name; an empty name is a listener too):
// the station last played and whether a sleep request waits for its wake-up login.
class ListenerMemory
{
public:
    // Anyone can send requests, so the memory is capped: past capacity the listener heard from
    // least recently is forgotten.
    explicit ListenerMemory(qsizetype capacity = 10000) : m_capacity(capacity) {}

    void played(const QString &user, const QString &station);
    void slept(const QString &user);
    // For a login: after a sleep, the station last played (empty if none) and the sleep is over;
    // otherwise nothing.
    std::optional<QString> takeWakeUp(const QString &user);
    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry
    {
        QString station;
        bool sleeping = false;
        std::list<QString>::iterator age;
    };
    Entry &touch(const QString &user);

    qsizetype m_capacity;
    QHash<QString, Entry> m_entries;
    std::list<QString> m_byAge; // least recent first
};

// The service's pages and which request gets which.
class ServicePages
{
public:
    // Answers path (no query) with status and a short error page, whatever the method and query.
    void setFailure(const QString &path, int status);

    // path is the decoded path; rawQuery is the query as received, without '?'. Sleep requests,
    // logins and played stations change what later logins get; a HEAD changes nothing. HEAD is
    // answered as GET, body included: leaving it out is the HTTP layer's job.
    PageResponse respond(const QByteArray &method, const QString &path, const QByteArray &rawQuery);

    // A short page for an HTTP error status.
    static PageResponse errorPage(int status);

    // The query's items in order, percent-decoded as UTF-8. A '+' stays a plus (the program encodes
    // a plus as %2B); an item without '=' has an empty value.
    static QList<QPair<QString, QString>> parseQuery(const QByteArray &rawQuery);

    static QString htmlEscape(const QString &text);

    // Replaces every {{NAME}} by values[NAME] in one pass, so inserted text is never scanned again.
    // Unknown names become empty; only upper-case letters and underscores make a name.
    static QString fillTemplate(const QString &text, const QHash<QString, QString> &values);

private:
    // record: whether the request counts as a listener's visit (GET), or is only a look (HEAD).
    PageResponse redirector(const QByteArray &rawQuery, bool record);
    PageResponse played(const QByteArray &rawQuery, bool record);
    PageResponse site(const QByteArray &rawQuery);

    QHash<QString, int> m_failures;
    ListenerMemory m_listeners;
};

#pragma once

#include "statestore.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <list>
#include <map>
#include <optional>

// One answer of the service, apart from the HTTP server that carries it.
struct PageResponse
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Type
    // The body is only the start: the rest comes from a ToneStream for as long as the client
    // takes it, so the answer has no length and ends with the connection.
    bool endless = false;
};

// What the service remembers of each listener (by user name; an empty name is a listener too): the
// password the name was first heard with, the station last played (and whether a login takes it up
// again), and a sleep that waits for its wake-up login. Bindings and pending wake-ups are kept in a
// StateStore, every change committed before the call returns; the recent stations only in memory.
// The tables in memory are capped, so the memory stays bounded in bytes with names of at most
// kMaxName characters.
class ListenerMemory
{
public:
    static constexpr qsizetype kMaxName = 64;

    // recent: listeners kept by last use, the least recent forgotten past it (its binding stays).
    // sleepers: pending wake-ups, kept apart so that nobody else's traffic pushes one out. statePath
    // and stateBytes go to the StateStore, which brings back the wake-ups it holds.
    explicit ListenerMemory(qsizetype recent = 10000, qsizetype sleepers = 10000,
                            const QString &statePath = QString(), qint64 stateBytes = StateStore::kMaxBytes);

    // Why the state cannot be kept; empty when it can.
    QString stateError() const { return m_store.error(); }

    // 0 when user may do it: 403 for a password other than the one user's name is bound to, 503 for a
    // name not yet bound when the state has no room for it, or for a sleep that finds the table of
    // pending wake-ups full. Changes nothing; the calls below expect a 0 here and bind a new name to
    // password. The empty name binds nothing.
    int refusal(const QString &user, const QString &password, bool sleep, qint64 nowMs);
    // Each returns whether its change is stored; when not, nothing changed.
    bool played(const QString &user, const QString &password, const QString &station, qint64 nowMs);
    // wakeUpMs: the latest moment the sleep may end; it is forgotten a day after that.
    bool slept(const QString &user, const QString &password, qint64 wakeUpMs, qint64 nowMs);
    // For a login, start gets the station its page starts at once: after a sleep the station last
    // played (empty if none), and the sleep is over; else, for a named listener whose session is
    // unfinished (a station played since its last logoff or sleep), that station; else nothing. The
    // empty name's session is every guest's, so it never resumes.
    bool loggedIn(const QString &user, const QString &password, qint64 nowMs, std::optional<QString> *start);
    // Ends the sleep and the session alike, quietly.
    bool loggedOff(const QString &user, const QString &password, qint64 nowMs);

    qsizetype size() const { return m_recent.size(); }
    qsizetype sleepers() const { return m_sleepers.size(); }

private:
    // unfinished: a named listener played station since its last logoff or sleep.
    struct Listener
    {
        QString station;
        std::list<QString>::iterator age;
        bool unfinished = false;
    };
    struct Sleeper
    {
        QString station;
        std::multimap<qint64, QString>::iterator due;
        bool unfinished = false;
    };

    QByteArray keyOf(const QString &password) const;
    void bind(const QString &user, const QString &password);
    void expire(qint64 nowMs);
    Listener &touch(const QString &user);
    bool leaveSleep(const QString &user, const QString &password, qint64 nowMs, bool logoff,
                    std::optional<QString> *start);

    qsizetype m_recentCapacity;
    qsizetype m_sleeperCapacity;
    StateStore m_store;
    QHash<QString, Listener> m_recent;
    std::list<QString> m_byAge; // least recent first
    QHash<QString, Sleeper> m_sleepers;
    std::multimap<qint64, QString> m_byDue; // ms since the epoch a pending wake-up is forgotten
};

// The service's pages and which request gets which.
class ServicePages
{
public:
    // statePath: where bindings and pending wake-ups are kept; empty: in memory only.
    explicit ServicePages(const QString &statePath = QString());
    QString stateError() const { return m_listeners.stateError(); }

    // Answers path (no query) with status and a short error page, whatever the method and query.
    void setFailure(const QString &path, int status);

    // path is the decoded path; rawQuery is the query as received, without '?'. Sleep requests,
    // logins and played stations change what later logins get; a HEAD changes nothing. HEAD is
    // answered as GET, body included: leaving it out is the HTTP layer's job. A request naming a
    // user with another password than the name's first one gets 403, a name or password over
    // ListenerMemory::kMaxName characters 400; neither changes anything.
    PageResponse respond(const QByteArray &method, const QString &path, const QByteArray &rawQuery);

    // A short page for an HTTP error status.
    static PageResponse errorPage(int status);

    // The query's items in order, percent-decoded as UTF-8. A '+' stays a plus (the program encodes
    // a plus as %2B); an item without '=' has an empty value.
    static QList<QPair<QString, QString>> parseQuery(const QByteArray &rawQuery);

    static QString htmlEscape(const QString &text);

    // The latest moment, in ms since the epoch, that a wake-up time as the program sends it (the
    // listener's locale, zone unknown) may mean; nothing when it names no date.
    static std::optional<qint64> latestMoment(const QString &text);

    // The request target as the log keeps it: every passw value (by its decoded key) masked.
    static QByteArray maskedTarget(const QByteArray &target);

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

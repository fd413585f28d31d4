#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// One answer of the service, apart from the HTTP server that carries it.
struct PageResponse
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // besides Content-Type
};

// The service's pages and which request gets which.
class ServicePages
{
public:
    // Answers path (no query) with status and a short error page, whatever the method and query.
    void setFailure(const QString &path, int status);

    // path is the decoded path; rawQuery is the query as received, without '?'.
    PageResponse respond(const QByteArray &method, const QString &path, const QByteArray &rawQuery) const;

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
    PageResponse redirector(const QByteArray &rawQuery) const;

    QHash<QString, int> m_failures;
};

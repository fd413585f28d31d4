#pragma once

#include <QString>
#include <QUrl>

// Where the service, the partner player and the program's web site live.
struct Endpoints
{
    QString serviceHost; // host[:port], no scheme
    QString partnerHost; // host[:port], no scheme
    QString siteUrl;     // scheme and host, no trailing slash

    // The endpoints the program was built with.
    static Endpoints builtIn();

    // Whether url points at host ("host[:port]", reached over http), by host and port with the
    // schemes' default ports filled in: "radio.example.org:80" is "http://radio.example.org/".
    static bool isOnHost(const QUrl &url, const QString &host);
};

#pragma once

#include <QString>

// Where the service, the partner player and the program's web site live.
struct Endpoints
{
    QString serviceHost; // host[:port], no scheme
    QString partnerHost; // host[:port], no scheme
    QString siteUrl;     // scheme and host, no trailing slash

    // The endpoints the program was built with.
    static Endpoints builtIn();
};

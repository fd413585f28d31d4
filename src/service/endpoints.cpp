#include "service/endpoints.h"

#include "buildconfig.h"

Endpoints Endpoints::builtIn()
{
    return {QStringLiteral(ONDAVO_SERVICE_HOST), QStringLiteral(ONDAVO_PARTNER_HOST),
            QStringLiteral(ONDAVO_SITE_URL)};
}

bool Endpoints::isOnHost(const QUrl &url, const QString &host)
{
    const QUrl expected(QStringLiteral("http://") + host);
    if (!url.isValid() || !expected.isValid() || url.host().isEmpty())
        return false;
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    return url.host().compare(expected.host(), Qt::CaseInsensitive) == 0 &&
           url.port(defaultPort) == expected.port(80);
}

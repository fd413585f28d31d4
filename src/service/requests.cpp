#include "service/requests.h"

namespace Requests {

QByteArray encodeQueryValue(const QString &value)
{
    return QUrl::toPercentEncoding(value, QByteArrayLiteral(":/@!$'()*,"));
}

namespace {

QUrl fromParts(const QString &host, const QByteArray &pathAndQuery)
{
    return QUrl::fromEncoded(QByteArrayLiteral("http://") + host.toUtf8() + pathAndQuery, QUrl::StrictMode);
}

QByteArray redirector(const QString &userName, const QString &passw)
{
    return QByteArrayLiteral("/redirector/?username=") + encodeQueryValue(userName) +
           QByteArrayLiteral("&passw=") + encodeQueryValue(passw);
}

} // namespace

QUrl login(const Endpoints &ep, const QString &userName, const QString &passw)
{
    return fromParts(ep.serviceHost, redirector(userName, passw) + "&action=login&client=Ondavo3");
}

QUrl logoff(const Endpoints &ep, const QString &userName, const QString &passw)
{
    return fromParts(ep.serviceHost, redirector(userName, passw) + "&action=logoff");
}

QUrl sleep(const Endpoints &ep, const QString &userName, const QString &passw, const QString &upTimeText)
{
    return fromParts(ep.serviceHost, redirector(userName, passw) + "&action=sleep&client=Ondavo3&uptime=" +
                                         encodeQueryValue(upTimeText));
}

QUrl clockPage(const Endpoints &ep)
{
    return fromParts(ep.serviceHost, QByteArrayLiteral("/clock/default/"));
}

QUrl partnerPlayer(const Endpoints &ep)
{
    return fromParts(ep.partnerHost, QByteArrayLiteral("/export/radio_player.html"));
}

bool isLogoff(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded).contains(QLatin1String("action=logoff"));
}

bool isSleep(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded).contains(QLatin1String("action=sleep"));
}

} // namespace Requests

#pragma once

#include "service/endpoints.h"

#include <QUrl>

// The addresses the program sends to its service. Values put into a query are percent-encoded
// as query components, so an identity holding '&', '#', '+', '%' or blanks cannot break the query.
namespace Requests {

QUrl login(const Endpoints &ep, const QString &userName, const QString &passw);
QUrl logoff(const Endpoints &ep, const QString &userName, const QString &passw);
QUrl sleep(const Endpoints &ep, const QString &userName, const QString &passw, const QString &upTimeText);
QUrl clockPage(const Endpoints &ep);
QUrl partnerPlayer(const Endpoints &ep);

// Whether a pane's address is the logoff request, or the sleep request.
bool isLogoff(const QUrl &url);
bool isSleep(const QUrl &url);

// One value encoded for a query: unreserved characters and ":/@!$'()*," stay, all else is %XX.
QByteArray encodeQueryValue(const QString &value);

} // namespace Requests

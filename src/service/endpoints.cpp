#include "service/endpoints.h"

#include "buildconfig.h"

Endpoints Endpoints::builtIn()
{
    return {QStringLiteral(ONDAVO_SERVICE_HOST), QStringLiteral(ONDAVO_PARTNER_HOST),
            QStringLiteral(ONDAVO_SITE_URL)};
}

#include "settings/identity.h"

namespace Identity {

QString makeAnonymousUserName(QRandomGenerator &rng)
{
    QString name = QStringLiteral("onAnnm-");
    for (int i = 0; i < 4; ++i)
        name += QString::number(rng.bounded(1000));
    return name;
}

QString makeRandomPassword(QRandomGenerator &rng)
{
    // Bounds of 9 and 25 leave out 9, Z and z: identities already issued use this 59-character alphabet.
    QString password;
    for (int i = 0; i < 8; ++i) {
        const int kind = rng.bounded(15);
        if (kind < 5)
            password += QChar(u'0' + rng.bounded(9));
        else if (kind < 10)
            password += QChar(u'A' + rng.bounded(25));
        else
            password += QChar(u'a' + rng.bounded(25));
    }
    return password;
}

} // namespace Identity

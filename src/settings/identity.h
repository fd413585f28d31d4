#pragma once

#include <QRandomGenerator>
#include <QString>

// The anonymous identity the program speaks to its service with.
namespace Identity {

// "onAnnm-" and four numbers below 1000, in decimal and run together: 11 to 19 characters.
QString makeAnonymousUserName(QRandomGenerator &rng);
// Eight characters, a third each digits 0-8, letters A-Y and letters a-y.
QString makeRandomPassword(QRandomGenerator &rng);

} // namespace Identity

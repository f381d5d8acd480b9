#pragma once

#include <QString>

// What the mirroring workflow tells the user, exactly as the user reads it.
namespace telvanto::mirroring::texts {

// Where a Linux desktop turns accessibility on; the workflow has already asked the bus to.
inline QString accessibilityOff() { return QStringLiteral("Zapni prístupnosť v Nastavenia → Prístupnosť a skús znova."); }
inline QString waitingForAirScreen() { return QStringLiteral("Čakám na AirScreen na TV…"); }
inline QString airScreenMissing() { return QStringLiteral("AirScreen sa v sieti neukázal. Je na TV otvorený?"); }
inline QString connecting(const QString& name) { return QStringLiteral("Pripájam ") + name + QStringLiteral("…"); }
inline QString receiverNotFound(const QString& name)
{
    return QStringLiteral("Nepodarilo sa nájsť ") + name + QStringLiteral(" v Zrkadlení obrazovky.");
}
inline QString displayPending() { return QStringLiteral("Mac sa pripája, chvíľu počkaj…"); }
inline QString stopByHand() { return QStringLiteral("Zastav zrkadlenie v Ovládacom centre (Zrkadlenie obrazovky)."); }

} // namespace telvanto::mirroring::texts

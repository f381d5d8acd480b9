#pragma once

#include <QString>

// What the controller tells the user, exactly as the user reads it.
namespace telvanto::tv::texts {

inline QString wrongCode() { return QStringLiteral("Nesprávny kód, skús znova"); }
inline QString pairingRefused(qint64 status) { return QStringLiteral("TV odmietla párovanie (%1)").arg(status); }
inline QString pairingFailed() { return QStringLiteral("Párovanie sa nepodarilo, skús znova"); }
inline QString pairingInterrupted() { return QStringLiteral("Párovanie sa prerušilo"); }
inline QString unreachable() { return QStringLiteral("TV nedostupná, skúšam znova…"); }
inline QString otherDevice() { return QStringLiteral("Iné zariadenie než spárovaná TV – spáruj znova"); }
inline QString connectionLost() { return QStringLiteral("Spojenie sa prerušilo, pripájam znova…"); }
inline QString forgotten() { return QStringLiteral("TV toto zariadenie už nepozná – stlač Spárovať znova"); }

inline QString defaultTvName() { return QStringLiteral("Mi Box"); }

} // namespace telvanto::tv::texts

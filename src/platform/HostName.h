#pragma once

#include <QString>

namespace telvanto::platform {

// The computer's name as people know it, shown on the TV while pairing and put into the
// client certificate: the pretty host name, else the host name, else "Linux".
QString deviceName(const QString& machineInfoPath = QStringLiteral("/etc/machine-info"));

// PRETTY_HOSTNAME from machine-info text (shell-style KEY=VALUE lines); empty when absent.
QString prettyHostName(const QString& machineInfo);

} // namespace telvanto::platform

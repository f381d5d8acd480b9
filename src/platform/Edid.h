#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace telvanto::platform {

// The monitor name a display announces in its EDID (the 0xFC descriptors of the base block),
// none when the bytes are not an EDID or carry no name. The bytes come from the display.
std::optional<QString> edidMonitorName(const QByteArray& edid);

} // namespace telvanto::platform

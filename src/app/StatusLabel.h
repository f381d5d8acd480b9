#pragma once

#include "tv/TVController.h"

#include <QColor>
#include <QString>

namespace telvanto::app {

// The one-line connection status: its text and the colour of its dot.
struct StatusLook {
    QString text;
    QColor colour;
    bool operator==(const StatusLook&) const = default;
};

StatusLook statusLook(const tv::TVController::Status& status);

} // namespace telvanto::app

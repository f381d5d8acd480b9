#pragma once

#include <QString>
#include <QStringList>

namespace telvanto::mirroring {

// The fixed texts that identify the panel the receiver selection drives and the elements in
// it. Matching depends on them alone; another panel is another set of texts.
struct Panel {
    // The application that owns the panel, as the accessibility registry names it.
    QString application;
    // Part of the identifier of the status item that opens the panel (lower case).
    QString itemMarker;
    // Identifier prefix of status items, never taken for the mirroring tile (lower case).
    QString statusItemPrefix;
    // Identifier prefix of receiver rows (lower case).
    QString rowPrefix;
    // Texts that mark the screen-mirroring tile (lower case).
    QStringList keywords;

    static Panel controlCenter()
    {
        return {QStringLiteral("com.apple.controlcenter"),
                QStringLiteral("controlcenter"),
                QStringLiteral("com.apple.menuextra"),
                QStringLiteral("screen-mirroring-device"),
                {QStringLiteral("screen mirroring"), QStringLiteral("zrkadlenie obrazovky"), QStringLiteral("zrkadlenie"),
                 QStringLiteral("screenmirroring"), QStringLiteral("screen-mirroring")}};
    }
};

} // namespace telvanto::mirroring

#pragma once

#include <QList>
#include <QString>

namespace telvanto::tv {

// One app of the launch grid. Identified by its package; the link is what launching sends.
struct TVApp {
    // sRGB components, 0 to 1, opaque.
    struct Color {
        double red = 0, green = 0, blue = 0;
        bool operator==(const Color&) const = default;
    };

    QString name;
    QString package;
    Color color;
    QString symbol; // SF Symbols name; the views map it to the project's icon set
    QString link;

    bool operator==(const TVApp&) const = default;

    // The fixed catalogue, in grid order.
    static const QList<TVApp>& catalogue();
    static const TVApp* find(const QString& package);
};

} // namespace telvanto::tv

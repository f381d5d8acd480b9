#pragma once

#include "mirroring/MirrorController.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;

namespace telvanto::mirroring {
class MirrorTV;
}

namespace telvanto::app {

// The mirroring card's and the tray's words and looks, from the controller's state.
namespace mirrorTexts {
inline QString title() { return QStringLiteral("Obrazovka Macu na TV"); }
inline QString modeLabel() { return QStringLiteral("Režim"); }
inline QString modeChoice(mirroring::MirrorController::Mode mode)
{
    return mode == mirroring::MirrorController::Mode::extend ? QStringLiteral("Druhý monitor")
                                                             : QStringLiteral("Zrkadliť obrazovku");
}
QString subtitle(bool isMirroring, const std::optional<QString>& receiverName);
QString trayItem(bool isMirroring);
QString trayIcon(bool isMirroring);
} // namespace mirrorTexts

// The start-up option "-dumpControlCenter PATH": the argument after the first occurrence; none
// when the option is missing or last. withoutDumpOption drops every occurrence and its path, for the parser.
std::optional<QString> dumpControlCenterPath(const QStringList& arguments);
QStringList withoutDumpOption(const QStringList& arguments);

// The card's button: what it says and how it is coloured.
struct MirrorButtonLook {
    QString text;
    QString symbol;
    QColor background;
    QColor textColour;
    bool operator==(const MirrorButtonLook&) const = default;
};
MirrorButtonLook mirrorButtonLook(bool isMirroring);

// The mirroring card's state and its one action, on the process's mirroring controller; the
// card and the tray share it. QML reaches the one instance as the singleton Mirroring.
class MirrorView final : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Mirroring)
    QML_SINGLETON

    Q_PROPERTY(QString title READ title CONSTANT)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY changed)
    Q_PROPERTY(bool busy READ busy NOTIFY changed)
    Q_PROPERTY(bool isMirroring READ isMirroring NOTIFY changed)
    Q_PROPERTY(QString message READ message NOTIFY changed)
    // 0 mirror, 1 extend: the segmented picker's index.
    Q_PROPERTY(int mode READ mode WRITE setMode NOTIFY changed)
    Q_PROPERTY(QStringList modes READ modes CONSTANT)
    Q_PROPERTY(QString buttonText READ buttonText NOTIFY changed)
    Q_PROPERTY(QString buttonSymbol READ buttonSymbol NOTIFY changed)
    Q_PROPERTY(QColor buttonColor READ buttonColor NOTIFY changed)
    Q_PROPERTY(QColor buttonTextColor READ buttonTextColor NOTIFY changed)

public:
    MirrorView(mirroring::MirrorController& mirror, mirroring::MirrorTV& tv, QObject* parent = nullptr);
    ~MirrorView() override;

    // The instance QML gets; set by the application before the window loads.
    static MirrorView* create(QQmlEngine*, QJSEngine*);

    QString title() const { return mirrorTexts::title(); }
    QString subtitle() const;
    bool busy() const { return mirror_.busy(); }
    bool isMirroring() const { return mirror_.isMirroring(); }
    QString message() const { return mirror_.messageText(); }
    int mode() const { return mirror_.mode() == mirroring::MirrorController::Mode::extend ? 1 : 0; }
    void setMode(int mode);
    QStringList modes() const;
    QString buttonText() const { return mirrorButtonLook(isMirroring()).text; }
    QString buttonSymbol() const { return mirrorButtonLook(isMirroring()).symbol; }
    QColor buttonColor() const { return mirrorButtonLook(isMirroring()).background; }
    QColor buttonTextColor() const { return mirrorButtonLook(isMirroring()).textColour; }

    // Stops while mirroring, else starts; a press during a running workflow is the
    // controller's to drop.
    Q_INVOKABLE void toggle();

Q_SIGNALS:
    void changed();

private:
    mirroring::MirrorController& mirror_;
    mirroring::MirrorTV& tv_;
};

} // namespace telvanto::app

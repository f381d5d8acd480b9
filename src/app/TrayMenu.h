#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace telvanto::tv {
class TVController;
}
namespace telvanto::mirroring {
class MirrorController;
}

namespace telvanto::app {

class Autostart;

// The tray menu's words, as the user reads them.
namespace trayTexts {
inline QString title() { return QStringLiteral("Telvanto"); }
inline QString power() { return QStringLiteral("Zapnúť / vypnúť TV"); }
inline QString home() { return QStringLiteral("Domov"); }
inline QString playPause() { return QStringLiteral("Prehrať / pauza"); }
inline QString launchApp() { return QStringLiteral("Spustiť aplikáciu"); }
inline QString startAtLogin() { return QStringLiteral("Spúšťať pri prihlásení"); }
inline QString openRemote() { return QStringLiteral("Otvoriť ovládač"); }
inline QString quit() { return QStringLiteral("Ukončiť"); }
} // namespace trayTexts

// The status-area icon "Telvanto" and its menu: a few TV keys, app launching, start at login,
// the window, quitting. It acts on the process's one controller; the window and quitting are
// left to the owner through signals.
class TrayMenu final : public QObject {
    Q_OBJECT

public:
    TrayMenu(tv::TVController& tv, Autostart& autostart, QObject* parent = nullptr);
    ~TrayMenu() override;

    QMenu& menu() { return *menu_; }
    QSystemTrayIcon& icon() { return *icon_; }
    // Shows the icon where the desktop has a tray; elsewhere nothing happens.
    void show();

    // Entries above the TV keys (screen mirroring) go before this separator.
    QAction* topSeparator() const { return topSeparator_; }
    // Puts the mirroring entries on top (start/stop, the mode) and lets the icon follow
    // isMirroring; toggle runs on a press, also while the controller is busy.
    void addMirroring(mirroring::MirrorController& mirror, std::function<void()> toggle);
    QAction* startAtLoginAction() const { return startAtLogin_; }

    // A symbol of the window's icon font as a tray icon, light with a dark edge so that it
    // reads on light and dark panels alike; a drawn TV when the font is missing.
    static QIcon symbolIcon(const QString& symbolName);

Q_SIGNALS:
    // The menu is about to open (each time).
    void aboutToShow();
    void openWindowRequested();
    void quitRequested();

private:
    void refreshStartAtLogin();

    tv::TVController& tv_;
    Autostart& autostart_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    QAction* topSeparator_ = nullptr;
    QAction* startAtLogin_ = nullptr;
};

} // namespace telvanto::app

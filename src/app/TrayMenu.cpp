#include "app/TrayMenu.h"

#include "app/Autostart.h"
#include "app/MirrorView.h"
#include "app/Symbols.h"
#include "protocol/RemoteMsg.h"
#include "tv/TVApp.h"
#include "tv/TVController.h"

#include <QActionGroup>
#include <QFontMetricsF>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

#include <map>

namespace telvanto::app {

TrayMenu::TrayMenu(tv::TVController& tv, Autostart& autostart, QObject* parent)
    : QObject(parent), tv_(tv), autostart_(autostart), menu_(std::make_unique<QMenu>()),
      icon_(std::make_unique<QSystemTrayIcon>())
{
    using protocol::TVKey;
    QMenu& m = *menu_;
    topSeparator_ = m.addSeparator();
    const auto key = [this](TVKey k) { return [this, k] { tv_.send(protocol::RemoteMsg::key(k)); }; };
    connect(m.addAction(trayTexts::power()), &QAction::triggered, this, key(TVKey::power));
    connect(m.addAction(trayTexts::home()), &QAction::triggered, this, key(TVKey::home));
    connect(m.addAction(trayTexts::playPause()), &QAction::triggered, this, key(TVKey::playPause));
    QMenu* apps = m.addMenu(trayTexts::launchApp());
    for (const tv::TVApp& app : tv::TVApp::catalogue()) {
        connect(apps->addAction(app.name), &QAction::triggered, this, [this, package = app.package] { tv_.launch(package); });
    }
    m.addSeparator();
    startAtLogin_ = m.addAction(trayTexts::startAtLogin());
    startAtLogin_->setCheckable(true);
    connect(startAtLogin_, &QAction::triggered, this, [this](bool on) {
        autostart_.setEnabled(on);
        refreshStartAtLogin(); // a failed change shows as no change
    });
    connect(m.addAction(trayTexts::openRemote()), &QAction::triggered, this, &TrayMenu::openWindowRequested);
    QAction* quit = m.addAction(trayTexts::quit());
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &TrayMenu::quitRequested);

    connect(&m, &QMenu::aboutToShow, this, [this] {
        refreshStartAtLogin();
        Q_EMIT aboutToShow();
    });
    refreshStartAtLogin();

    icon_->setIcon(symbolIcon(QStringLiteral("tv")));
    icon_->setToolTip(trayTexts::title());
    icon_->setContextMenu(menu_.get());
}

TrayMenu::~TrayMenu()
{
    icon_->hide();
    icon_.reset(); // before the menu it points to
}

void TrayMenu::addMirroring(mirroring::MirrorController& mirror, std::function<void()> toggle)
{
    using Mode = mirroring::MirrorController::Mode;
    QAction* item = new QAction(menu_.get());
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    connect(item, &QAction::triggered, this, [toggle = std::move(toggle)] { toggle(); });
    menu_->insertAction(topSeparator_, item);

    QMenu* modes = new QMenu(mirrorTexts::modeLabel(), menu_.get());
    auto* group = new QActionGroup(modes);
    std::map<Mode, QAction*> choices;
    for (const Mode mode : {Mode::mirror, Mode::extend}) {
        QAction* choice = modes->addAction(mirrorTexts::modeChoice(mode));
        choice->setCheckable(true);
        group->addAction(choice);
        connect(choice, &QAction::triggered, this, [&mirror, mode] { mirror.setMode(mode); });
        choices[mode] = choice;
    }
    menu_->insertMenu(topSeparator_, modes);

    const auto followMirroring = [this, &mirror, item] {
        item->setText(mirrorTexts::trayItem(mirror.isMirroring()));
        icon_->setIcon(symbolIcon(mirrorTexts::trayIcon(mirror.isMirroring())));
    };
    const auto followMode = [&mirror, choices] {
        for (const auto& [mode, choice] : choices) choice->setChecked(mirror.mode() == mode);
    };
    connect(&mirror, &mirroring::MirrorController::isMirroringChanged, this, followMirroring);
    connect(&mirror, &mirroring::MirrorController::modeChanged, this, followMode);
    followMirroring();
    followMode();
}

void TrayMenu::show() { icon_->show(); }

void TrayMenu::refreshStartAtLogin() { startAtLogin_->setChecked(autostart_.isEnabled()); }

QIcon TrayMenu::symbolIcon(const QString& symbolName)
{
    const QString family = symbols::fontFamily();
    const QString glyph = symbols::glyph(symbolName);
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor edge(0, 0, 0, 160);
        painter.setPen(QPen(edge, std::max(1.0, size / 24.0)));
        painter.setBrush(Qt::white);
        QFont font(family);
        font.setPixelSize(size);
        if (!family.isEmpty() && !glyph.isEmpty() && QFontMetricsF(font).inFont(glyph.at(0))) {
            QPainterPath path;
            path.addText(0, 0, font, glyph);
            const QRectF box = path.boundingRect();
            path.translate(QPointF(size, size) / 2 - box.center());
            painter.drawPath(path);
        } else {
            // A screen on a stand.
            const double u = size / 16.0;
            painter.drawRoundedRect(QRectF(1.5 * u, 2.5 * u, 13 * u, 9 * u), u, u);
            painter.drawRect(QRectF(5 * u, 12.5 * u, 6 * u, 1.2 * u));
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace telvanto::app

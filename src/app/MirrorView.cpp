#include "app/MirrorView.h"

#include <QJSEngine>
#include <QQmlEngine>

namespace telvanto::app {

namespace {
MirrorView* instance = nullptr;
}

QString mirrorTexts::subtitle(bool isMirroring, const std::optional<QString>& receiverName)
{
    if (isMirroring) return QStringLiteral("Beží cez AirPlay");
    if (receiverName) return QStringLiteral("Prijímač: ") + *receiverName;
    return QStringLiteral("AirScreen sa spustí na TV");
}

QString mirrorTexts::trayItem(bool isMirroring)
{
    return isMirroring ? QStringLiteral("Zastaviť zobrazovanie na TV") : QStringLiteral("Zobraziť Mac na TV");
}

QString mirrorTexts::trayIcon(bool isMirroring)
{
    return isMirroring ? QStringLiteral("tv.inset.filled") : QStringLiteral("tv");
}

namespace {
const QString dumpOption = QStringLiteral("-dumpControlCenter");
}

std::optional<QString> dumpControlCenterPath(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(dumpOption);
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    return arguments[at + 1];
}

QStringList withoutDumpOption(const QStringList& arguments)
{
    QStringList out = arguments;
    for (qsizetype at; (at = out.indexOf(dumpOption)) >= 0;) out.remove(at, std::min<qsizetype>(2, out.size() - at));
    return out;
}

MirrorButtonLook mirrorButtonLook(bool isMirroring)
{
    // Red as the window's other reds (the dark scheme's), at 80 %.
    if (isMirroring) return {QStringLiteral("Zastaviť"), QStringLiteral("stop.fill"), QColor::fromRgbF(1, 69 / 255.0, 58 / 255.0, 0.8), Qt::white};
    return {QStringLiteral("Zobraziť na TV"), QStringLiteral("play.fill"), Qt::white, Qt::black};
}

MirrorView::MirrorView(mirroring::MirrorController& mirror, mirroring::MirrorTV& tv, QObject* parent)
    : QObject(parent), mirror_(mirror), tv_(tv)
{
    using C = mirroring::MirrorController;
    for (auto signal : {&C::receiverNameChanged, &C::isMirroringChanged, &C::busyChanged, &C::messageChanged, &C::modeChanged}) {
        connect(&mirror_, signal, this, &MirrorView::changed);
    }
    instance = this;
}

MirrorView::~MirrorView()
{
    if (instance == this) instance = nullptr;
}

MirrorView* MirrorView::create(QQmlEngine*, QJSEngine*)
{
    if (instance) QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
    return instance;
}

QString MirrorView::subtitle() const { return mirrorTexts::subtitle(mirror_.isMirroring(), mirror_.receiverName()); }

void MirrorView::setMode(int mode)
{
    mirror_.setMode(mode == 1 ? mirroring::MirrorController::Mode::extend : mirroring::MirrorController::Mode::mirror);
}

QStringList MirrorView::modes() const
{
    using Mode = mirroring::MirrorController::Mode;
    return {mirrorTexts::modeChoice(Mode::mirror), mirrorTexts::modeChoice(Mode::extend)};
}

void MirrorView::toggle()
{
    if (mirror_.isMirroring()) {
        mirror_.stop();
    } else {
        mirror_.start(tv_);
    }
}

} // namespace telvanto::app

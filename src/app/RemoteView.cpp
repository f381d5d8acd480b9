#include "app/RemoteView.h"

#include "app/StatusLabel.h"
#include "protocol/RemoteMsg.h"
#include "tv/TVApp.h"
#include "tv/TVController.h"

#include <QTextBoundaryFinder>

// The library is static: this reference keeps the QML module's type registration (and with
// it the module "Telvanto") in every program that shows the window.
void qml_register_types_Telvanto();
extern void (*const telvantoQmlTypes)() = &qml_register_types_Telvanto;

namespace telvanto::app {

namespace {

using Case = tv::TVController::Status::Case;
using protocol::TVKey;

} // namespace

RemoteView::RemoteView(tv::TVController& tv, core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), tv_(tv), touchpad_(scheduler, [this](TVKey key) { press(key); }),
      pairing_([this](const QString& code) { return tv_.submitCode(code); }),
      volumeDown_(scheduler, [this] { press(TVKey::volumeDown); }),
      volumeUp_(scheduler, [this] { press(TVKey::volumeUp); })
{
    using TV = tv::TVController;
    connect(&tv_, &TV::statusChanged, this, &RemoteView::statusUpdated);
    connect(&tv_, &TV::isPairedChanged, this, &RemoteView::statusUpdated);
    connect(&tv_, &TV::tvNameChanged, this, &RemoteView::tvNameChanged);
    connect(&tv_, &TV::foundChanged, this, &RemoteView::tvMenuChanged);
    connect(&tv_, &TV::hostChanged, this, &RemoteView::tvMenuChanged);
    connect(&tv_, &TV::volumeChanged, this, &RemoteView::volumeChanged);
    connect(&tv_, &TV::currentAppChanged, this, &RemoteView::currentAppChanged);
    showedPairing_ = showsPairing();
}

RemoteView::~RemoteView() = default;

QString RemoteView::manualHostEntry(const QString& typed)
{
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype from = 0, to = typed.size();
    while (from < to && blank(typed[from])) ++from;
    while (to > from && blank(typed[to - 1])) --to;
    return typed.mid(from, to - from);
}

void RemoteView::statusUpdated()
{
    // The pairing card starts afresh each time it comes back.
    const bool pairingNow = showsPairing();
    if (pairingNow && !showedPairing_) pairing_.reset();
    showedPairing_ = pairingNow;
    Q_EMIT statusChanged();
    Q_EMIT bodyChanged();
}

QString RemoteView::tvName() const { return tv_.tvName(); }
QString RemoteView::statusText() const { return statusLook(tv_.status()).text; }
QColor RemoteView::statusColor() const { return statusLook(tv_.status()).colour; }

QVariantList RemoteView::tvMenu() const
{
    QVariantList items;
    for (const tv::FoundTV& found : tv_.found()) {
        items.append(QVariantMap{
            {QStringLiteral("title"), found.name + QStringLiteral(" (") + found.host + u')'},
            {QStringLiteral("symbol"), found.host == tv_.host() ? QStringLiteral("checkmark") : QStringLiteral("tv")},
            {QStringLiteral("name"), found.name},
            {QStringLiteral("host"), found.host},
        });
    }
    return items;
}

void RemoteView::setAskHost(bool ask)
{
    if (ask == askHost_) return;
    askHost_ = ask;
    Q_EMIT askHostChanged();
}

void RemoteView::setManualHost(const QString& host)
{
    if (host == manualHost_) return;
    manualHost_ = host;
    Q_EMIT manualHostChanged();
}

bool RemoteView::showsPairing() const
{
    switch (tv_.status().kind) {
    case Case::needsPairing:
    case Case::pairing:
    case Case::waitingForCode: return true;
    case Case::failed: return !tv_.isPaired();
    case Case::idle:
    case Case::searching:
    case Case::connecting:
    case Case::connected: return false;
    }
    return false;
}

QString RemoteView::pairingBlock() const
{
    if (tv_.status().is(Case::pairing)) return QStringLiteral("progress");
    if (tv_.status().is(Case::waitingForCode)) return QStringLiteral("code");
    return QStringLiteral("start");
}

bool RemoteView::isPaired() const { return tv_.isPaired(); }
bool RemoteView::showsFailure() const { return tv_.status().is(Case::failed) && tv_.isPaired(); }
QString RemoteView::failure() const { return showsFailure() ? tv_.status().text : QString(); }

void RemoteView::setShowKeyboard(bool show)
{
    if (show == showKeyboard_) return;
    showKeyboard_ = show;
    Q_EMIT showKeyboardChanged();
}

void RemoteView::toggleKeyboard() { setShowKeyboard(!showKeyboard_); }

void RemoteView::setText(const QString& text)
{
    if (text == text_) return;
    const QString old = std::exchange(text_, text);
    Q_EMIT textChanged();
    if (clearing_) {
        setClearing(false);
        return;
    }
    tv_.typeText(old, text_);
}

void RemoteView::setClearing(bool clearing)
{
    if (clearing == clearing_) return;
    clearing_ = clearing;
    Q_EMIT clearingChanged();
}

void RemoteView::submitText()
{
    press(TVKey::enter);
    // An empty field does not change, so a flag set for it would swallow the next keystroke.
    if (text_.isEmpty()) return;
    setClearing(true);
    setText(QString());
}

void RemoteView::deleteBackward()
{
    if (text_.isEmpty()) {
        press(TVKey::deleteKey);
        return;
    }
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text_);
    graphemes.toEnd();
    const qsizetype last = graphemes.toPreviousBoundary();
    setText(text_.left(std::max<qsizetype>(last, 0)));
}

double RemoteView::volumeFraction() const
{
    const auto& volume = tv_.volume();
    if (!volume || volume->max <= 0) return 0;
    return double(volume->level) / double(volume->max);
}

QString RemoteView::speakerSymbol() const
{
    const auto& volume = tv_.volume();
    return volume && volume->muted ? QStringLiteral("speaker.slash.fill") : QStringLiteral("speaker.fill");
}

QString RemoteView::currentApp() const { return tv_.currentApp(); }

QVariantList RemoteView::apps() const
{
    QVariantList out;
    for (const tv::TVApp& app : tv::TVApp::catalogue()) {
        out.append(QVariantMap{
            {QStringLiteral("name"), app.name},
            {QStringLiteral("package"), app.package},
            {QStringLiteral("color"), QColor::fromRgbF(float(app.color.red), float(app.color.green), float(app.color.blue))},
            {QStringLiteral("symbol"), app.symbol},
        });
    }
    return out;
}

QVariantList RemoteView::mediaKeys() const
{
    const auto row = [](const char* key, const char* symbol, const QString& name) {
        return QVariantMap{{QStringLiteral("key"), QString::fromLatin1(key)},
                           {QStringLiteral("symbol"), QString::fromLatin1(symbol)},
                           {QStringLiteral("name"), name}};
    };
    return {
        row("previous", "backward.end.fill", QStringLiteral("Predchádzajúce")),
        row("rewind", "backward.fill", QStringLiteral("Pretočiť dozadu")),
        row("playPause", "playpause.fill", QStringLiteral("Prehrať / pauza")),
        row("fastForward", "forward.fill", QStringLiteral("Pretočiť dopredu")),
        row("next", "forward.end.fill", QStringLiteral("Nasledujúce")),
    };
}

void RemoteView::press(const QString& keyName)
{
    if (const auto key = protocol::tvKeyFromName(keyName.toStdString())) press(*key);
}

void RemoteView::press(TVKey key) { tv_.send(protocol::RemoteMsg::key(key)); }

void RemoteView::launch(const QString& package) { tv_.launch(package); }

void RemoteView::selectTV(const QString& name, const QString& host) { tv_.selectTV(name, host); }

void RemoteView::askForHost()
{
    setManualHost(tv_.host());
    setAskHost(true);
}

void RemoteView::connectManualHost()
{
    setAskHost(false);
    tv_.selectTV(tv_.tvName(), manualHostEntry(manualHost_));
}

void RemoteView::reconnect() { tv_.reconnectNow(); }
void RemoteView::pairAgain() { tv_.startPairing(); }

void RemoteView::startPairing()
{
    pairing_.reset();
    tv_.startPairing();
}

void RemoteView::cancelPairing() { tv_.cancelPairing(); }

} // namespace telvanto::app

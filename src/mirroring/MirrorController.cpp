#include "mirroring/MirrorController.h"

#include "mirroring/Texts.h"

#include <algorithm>

namespace telvanto::mirroring {

QString MirrorController::modeText(Mode mode)
{
    switch (mode) {
    case Mode::mirror: return QStringLiteral("mirror");
    case Mode::extend: return QStringLiteral("extend");
    }
    return QStringLiteral("mirror");
}

MirrorController::Mode MirrorController::modeFromText(const std::optional<QString>& text)
{
    return text == QStringLiteral("extend") ? Mode::extend : Mode::mirror;
}

MirrorController::MirrorController(core::Scheduler& scheduler, platform::Settings& settings, tv::Discovery& discovery,
                                   DisplayServices& displays, ReceiverSelector& selector, AccessibilityAccess& access,
                                   QObject* parent)
    : QObject(parent), scheduler_(scheduler), settings_(settings), discovery_(discovery), displays_(displays),
      selector_(selector), access_(access)
{
    mode_ = modeFromText(settings_.mirrorMode());
    displays_.setReconfigurationCallback([this] { scheduleRefresh(); });
    startBrowsing();
    refreshDisplays();
}

MirrorController::~MirrorController()
{
    displays_.setReconfigurationCallback({});
}

void MirrorController::setMode(Mode mode)
{
    settings_.setMirrorMode(modeText(mode));
    if (mode_ != mode) {
        mode_ = mode;
        Q_EMIT modeChanged();
    }
    applyMode();
}

void MirrorController::setTvHost(const QString& host)
{
    tvHost_ = host;
    updateReceiverName();
}

// --- receivers ---------------------------------------------------------------------------

void MirrorController::startBrowsing()
{
    if (browsing_) return;
    browsing_ = true;
    std::weak_ptr<bool> alive = alive_;
    discovery_.browse(airPlayServiceType, [this, alive](const QStringList& names) {
        if (!alive.expired()) handleBrowseResults(names);
    });
}

void MirrorController::handleBrowseResults(const QStringList& names)
{
    announced_ = names;
    std::erase_if(receivers_, [&](const auto& entry) { return !names.contains(entry.first); });
    updateReceiverName();
    for (const QString& name : names) {
        if (receivers_.count(name)) continue;
        std::weak_ptr<bool> alive = alive_;
        discovery_.resolve(airPlayServiceType, name, [this, alive, name](std::optional<QString> host) {
            if (alive.expired() || !host) return;
            // A service that left while it was being resolved stays gone.
            if (!announced_.contains(name)) return;
            receivers_[name] = *host;
            updateReceiverName();
        });
    }
}

void MirrorController::updateReceiverName()
{
    if (tvHost_.isEmpty()) {
        setReceiverName(std::nullopt);
        return;
    }
    // The map is ordered by name, so the first match is the one that sorts first.
    const auto match = std::find_if(receivers_.begin(), receivers_.end(),
                                    [&](const auto& entry) { return entry.second == tvHost_; });
    setReceiverName(match == receivers_.end() ? std::nullopt : std::optional<QString>(match->first));
}

// --- start -------------------------------------------------------------------------------

void MirrorController::start(MirrorTV& tv)
{
    if (busy_) return;
    setBusy(true);
    setMessage(std::nullopt);

    if (!access_.isEnabled()) {
        access_.requestEnable();
        setMessage(texts::accessibilityOff());
        setBusy(false);
        return;
    }

    tv.wakeUp();
    tv.launch(airScreenPackage);
    setMessage(texts::waitingForAirScreen());
    waitForReceiver(0);
}

void MirrorController::waitForReceiver(int pass)
{
    // A pass that finds the receiver does not sleep, so the remaining passes end at once.
    while (pass < receiverWaitPasses && receiverName_) ++pass;
    if (pass >= receiverWaitPasses) {
        receiverWaitOver();
        return;
    }
    wait_ = scheduler_.schedule(passDelay, [this, pass] { waitForReceiver(pass + 1); });
}

void MirrorController::receiverWaitOver()
{
    if (!receiverName_) {
        setMessage(texts::airScreenMissing());
        setBusy(false);
        return;
    }
    const QString name = *receiverName_;
    displaysBefore_ = onlineDisplays();
    setMessage(texts::connecting(name));
    std::weak_ptr<bool> alive = alive_;
    selector_.selectReceiver(name, true, [this, alive, name](bool selected) {
        if (!alive.expired()) receiverSelected(name, selected);
    });
}

void MirrorController::receiverSelected(const QString& name, bool selected)
{
    if (!selected) {
        setMessage(texts::receiverNotFound(name));
        displaysBefore_.clear();
        setBusy(false);
        return;
    }
    connectedReceiver_ = name;
    waitForDisplay(0);
}

void MirrorController::waitForDisplay(int pass)
{
    while (pass < displayWaitPasses && airplayDisplay_) ++pass;
    if (pass >= displayWaitPasses) {
        startFinished();
        return;
    }
    wait_ = scheduler_.schedule(passDelay, [this, pass] {
        refreshDisplays();
        waitForDisplay(pass + 1);
    });
}

void MirrorController::startFinished()
{
    setMessage(airplayDisplay_ ? std::nullopt : std::optional<QString>(texts::displayPending()));
    applyMode();
    setBusy(false);
}

// --- stop --------------------------------------------------------------------------------

void MirrorController::stop()
{
    if (busy_) return;
    setBusy(true);
    const std::optional<QString> name = connectedReceiver_ ? connectedReceiver_ : receiverName_;
    if (!name) {
        setMessage(texts::stopByHand());
        setBusy(false);
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    selector_.selectReceiver(*name, false, [this, alive](bool selected) {
        if (!alive.expired()) stopSelected(selected);
    });
}

void MirrorController::stopSelected(bool selected)
{
    if (selected) {
        connectedReceiver_.reset();
        setMessage(std::nullopt);
    } else {
        setMessage(texts::stopByHand());
    }
    displaysBefore_.clear();
    wait_ = scheduler_.schedule(pauseAfterStop, [this] { stopFinished(); });
}

void MirrorController::stopFinished()
{
    refreshDisplays();
    setBusy(false);
}

// --- displays ----------------------------------------------------------------------------

std::set<DisplayId> MirrorController::onlineDisplays()
{
    std::set<DisplayId> online;
    for (const DisplayId id : displays_.onlineDisplays()) {
        if (id != 0) online.insert(id);
    }
    return online;
}

namespace {

// How the desktop names the screen of an AirPlay receiver.
bool namedLikeAirPlay(const QString& name)
{
    return name.startsWith(QStringLiteral("AS-")) || name.contains(QStringLiteral("mibox"), Qt::CaseInsensitive) ||
           name.contains(QStringLiteral("airplay"), Qt::CaseInsensitive);
}

} // namespace

void MirrorController::refreshDisplays()
{
    const std::set<DisplayId> online = onlineDisplays();
    std::optional<DisplayId> found;

    bool qualified = false;
    for (const Screen& screen : displays_.screens()) {
        if (!namedLikeAirPlay(screen.name)) continue;
        qualified = true;
        if (screen.display != 0) found = screen.display; // the last one wins
    }
    if (!qualified && !displaysBefore_.empty()) {
        for (const DisplayId id : online) {
            if (!displaysBefore_.count(id) && !displays_.isBuiltin(id)) {
                found = id;
                break;
            }
        }
    }
    if (!found && airplayDisplay_ && online.count(*airplayDisplay_)) found = airplayDisplay_;

    const bool wasNone = !airplayDisplay_;
    airplayDisplay_ = found;
    setIsMirroring(found.has_value());
    if (wasNone && found) {
        displaysBefore_.clear();
        setMessage(std::nullopt);
        applyMode();
    }
}

void MirrorController::applyMode()
{
    if (!airplayDisplay_) return;
    const DisplayId x = *airplayDisplay_;
    std::set<DisplayId> others = onlineDisplays();
    others.erase(x);

    const bool mirrored = std::any_of(others.begin(), others.end(),
                                      [&](DisplayId d) { return displays_.mirrorsDisplay(d) == x; });
    const bool inMirrorSet = mirrored || displays_.mirrorsDisplay(x) != 0;
    const auto builtin = std::find_if(others.begin(), others.end(), [&](DisplayId d) { return displays_.isBuiltin(d); });

    switch (mode_) {
    case Mode::extend: {
        if (!inMirrorSet) return;
        auto transaction = displays_.beginConfiguration();
        if (!transaction) return;
        std::set<DisplayId> all = others;
        all.insert(x);
        for (const DisplayId d : all) {
            if (displays_.mirrorsDisplay(d) != 0) transaction->configureMirror(d, 0);
        }
        if (builtin != others.end()) {
            transaction->configureOrigin(*builtin, 0, 0);
            transaction->configureOrigin(x, static_cast<int>(displays_.pixelsWide(*builtin)), 0);
        }
        transaction->complete();
        return;
    }
    case Mode::mirror: {
        if (inMirrorSet || others.empty()) return;
        const DisplayId master = builtin != others.end() ? *builtin : *others.begin();
        auto transaction = displays_.beginConfiguration();
        if (!transaction) return;
        transaction->configureMirror(x, master);
        transaction->complete();
        return;
    }
    }
}

void MirrorController::scheduleRefresh()
{
    // Reconfigurations come in bursts; one refresh after them sees the same displays.
    if (refresh_) return;
    refresh_ = scheduler_.schedule(core::Duration::zero(), [this] {
        auto running = std::move(refresh_);
        refreshDisplays();
    });
}

// --- published fields ----------------------------------------------------------------------

void MirrorController::setReceiverName(const std::optional<QString>& name)
{
    if (receiverName_ == name) return;
    receiverName_ = name;
    Q_EMIT receiverNameChanged();
}

void MirrorController::setIsMirroring(bool mirroring)
{
    if (isMirroring_ == mirroring) return;
    isMirroring_ = mirroring;
    Q_EMIT isMirroringChanged();
}

void MirrorController::setBusy(bool busy)
{
    if (busy_ == busy) return;
    busy_ = busy;
    Q_EMIT busyChanged();
}

void MirrorController::setMessage(const std::optional<QString>& message)
{
    if (message_ == message) return;
    message_ = message;
    Q_EMIT messageChanged();
}

} // namespace telvanto::mirroring

#pragma once

#include "core/Scheduler.h"
#include "mirroring/AccessibilityAccess.h"
#include "mirroring/DisplayServices.h"
#include "mirroring/MirrorTV.h"
#include "mirroring/ReceiverSelector.h"
#include "platform/Settings.h"
#include "tv/Discovery.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace telvanto::mirroring {

// Shows the desktop on the TV: starts AirScreen there, waits for its AirPlay receiver, has the
// panel connect to it and sets the new display up. One per application, main thread only.
// The two workflows report through the published fields; busy keeps them from overlapping.
class MirrorController final : public QObject {
    Q_OBJECT

public:
    enum class Mode { mirror, extend };
    Q_ENUM(Mode)

    static inline const QString airPlayServiceType = QStringLiteral("_airplay._tcp");
    static inline const QString airScreenPackage = QStringLiteral("com.ionitech.airscreen");
    static constexpr int receiverWaitPasses = 40;
    static constexpr int displayWaitPasses = 60;
    static constexpr std::chrono::milliseconds passDelay{250};
    static constexpr std::chrono::milliseconds pauseAfterStop{800};

    static QString modeText(Mode mode);
    // Exactly "extend" is extend; anything else, or nothing, is mirror.
    static Mode modeFromText(const std::optional<QString>& text);

    Q_PROPERTY(QString receiverName READ receiverNameText NOTIFY receiverNameChanged)
    Q_PROPERTY(bool isMirroring READ isMirroring NOTIFY isMirroringChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY busyChanged)
    Q_PROPERTY(QString message READ messageText NOTIFY messageChanged)
    Q_PROPERTY(Mode mode READ mode WRITE setMode NOTIFY modeChanged)

    MirrorController(core::Scheduler& scheduler, platform::Settings& settings, tv::Discovery& discovery,
                     DisplayServices& displays, ReceiverSelector& selector, AccessibilityAccess& access,
                     QObject* parent = nullptr);
    ~MirrorController() override;

    const std::optional<QString>& receiverName() const { return receiverName_; }
    QString receiverNameText() const { return receiverName_.value_or(QString()); }
    bool isMirroring() const { return isMirroring_; }
    bool busy() const { return busy_; }
    const std::optional<QString>& message() const { return message_; }
    QString messageText() const { return message_.value_or(QString()); }
    Mode mode() const { return mode_; }
    // Every assignment is stored and applied, the same value too.
    void setMode(Mode mode);

    // Kept equal to the TV controller's verified host by the application.
    const QString& tvHost() const { return tvHost_; }
    void setTvHost(const QString& host);

    void start(MirrorTV& tv);
    void stop();

    void updateReceiverName();
    void handleBrowseResults(const QStringList& names);

    std::set<DisplayId> onlineDisplays();
    void refreshDisplays();
    void applyMode();

    // For tests and the window: what the workflows work from.
    const std::map<QString, QString>& receivers() const { return receivers_; }
    const std::optional<QString>& connectedReceiver() const { return connectedReceiver_; }
    const std::set<DisplayId>& displaysBefore() const { return displaysBefore_; }
    std::optional<DisplayId> airplayDisplay() const { return airplayDisplay_; }

Q_SIGNALS:
    void receiverNameChanged();
    void isMirroringChanged();
    void busyChanged();
    void messageChanged();
    void modeChanged();

private:
    void startBrowsing();
    void waitForReceiver(int pass);
    void receiverWaitOver();
    void receiverSelected(const QString& name, bool selected);
    void waitForDisplay(int pass);
    void startFinished();
    void stopSelected(bool selected);
    void stopFinished();
    void scheduleRefresh();

    void setReceiverName(const std::optional<QString>& name);
    void setIsMirroring(bool mirroring);
    void setBusy(bool busy);
    void setMessage(const std::optional<QString>& message);

    core::Scheduler& scheduler_;
    platform::Settings& settings_;
    tv::Discovery& discovery_;
    DisplayServices& displays_;
    ReceiverSelector& selector_;
    AccessibilityAccess& access_;

    std::optional<QString> receiverName_;
    bool isMirroring_ = false;
    bool busy_ = false;
    std::optional<QString> message_;
    Mode mode_ = Mode::mirror;
    bool browsing_ = false;
    std::set<DisplayId> displaysBefore_;
    std::optional<DisplayId> airplayDisplay_;
    std::map<QString, QString> receivers_;
    QStringList announced_; // the latest browse results
    std::optional<QString> connectedReceiver_;
    QString tvHost_;

    core::TaskHandle wait_;    // the running workflow's sleep
    core::TaskHandle refresh_; // a refresh asked for by a display reconfiguration
    // Callbacks that may arrive after the controller is gone check this first.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace telvanto::mirroring

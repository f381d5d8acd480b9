#pragma once

#include <QString>

namespace telvanto::tv {
class TVController;
}

namespace telvanto::mirroring {

// What the mirroring workflow asks of the TV: wake it and bring an app to the front.
// Neither outcome is observed; the workflow watches the network instead.
class MirrorTV {
public:
    virtual ~MirrorTV() = default;
    virtual void wakeUp() = 0;
    virtual void launch(const QString& package) = 0;
};

// The workflow's TV is the application's one TV controller.
class ControllerTV final : public MirrorTV {
public:
    explicit ControllerTV(tv::TVController& controller) : controller_(controller) {}
    void wakeUp() override;
    void launch(const QString& package) override;

private:
    tv::TVController& controller_;
};

} // namespace telvanto::mirroring

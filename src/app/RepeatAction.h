#pragma once

#include "core/Scheduler.h"

#include <QObject>
#include <QPointF>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <optional>

namespace telvanto::app {

// What a held round button does: its action once at the press, again 0.4 s later, then every
// 0.15 s until release or until the pointer strays more than 10 points.
class RepeatAction final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by RemoteView")
    Q_PROPERTY(bool pressing READ pressing NOTIFY pressingChanged)

public:
    static constexpr std::chrono::milliseconds firstRepeat{400};
    static constexpr std::chrono::milliseconds interval{150};
    static constexpr double tolerance = 10;

    RepeatAction(core::Scheduler& scheduler, std::function<void()> action, QObject* parent = nullptr);
    ~RepeatAction() override;

    bool pressing() const { return pressStart_.has_value(); }

    // Pointer positions in the button's coordinates.
    Q_INVOKABLE void press(double x, double y);
    Q_INVOKABLE void move(double x, double y);
    Q_INVOKABLE void release();

Q_SIGNALS:
    void pressingChanged();

private:
    void fire();

    core::Scheduler& scheduler_;
    std::function<void()> action_;
    std::optional<QPointF> pressStart_;
    core::TaskHandle timer_;
};

} // namespace telvanto::app

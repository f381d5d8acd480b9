#pragma once

#include "core/Scheduler.h"
#include "protocol/TVKey.h"

#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <deque>
#include <functional>
#include <optional>

namespace telvanto::app {

// The pad that turns clicks, drags and holds into D-pad presses: a click near an edge sends
// that edge's arrow, in the middle OK; a drag one arrow per 34 points; a held edge repeats.
class Touchpad final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by RemoteView")
    // The highlighted key's name ("up", "center"...), empty for none.
    Q_PROPERTY(QString flash READ flashName NOTIFY flashChanged)
    Q_PROPERTY(QSizeF size READ size WRITE setSize NOTIFY sizeChanged)

public:
    using TVKey = protocol::TVKey;
    using Press = std::function<void(TVKey)>;

    static constexpr double step = 34;
    static constexpr double centreBox = 0.4;
    static constexpr std::chrono::milliseconds holdDelay{380};
    static constexpr std::chrono::milliseconds holdEvery{110};
    static constexpr std::chrono::milliseconds flashFor{150};

    Touchpad(core::Scheduler& scheduler, Press press, QObject* parent = nullptr);
    ~Touchpad() override;

    static TVKey zone(QSizeF size, QPointF point);

    std::optional<TVKey> flash() const { return flash_; }
    QString flashName() const;
    QSizeF size() const { return size_; }
    void setSize(QSizeF size);

    // The gesture, in the pad's own coordinates: every pointer change (the first one is the
    // press), then the end.
    Q_INVOKABLE void pointerMoved(double x, double y);
    Q_INVOKABLE void released();

Q_SIGNALS:
    void flashChanged();
    void sizeChanged();

private:
    struct Input {
        QPointF origin;
        bool moved = false;
    };

    void send(TVKey key);
    void holdTick(TVKey zone);
    void setFlash(std::optional<TVKey> key);

    core::Scheduler& scheduler_;
    Press press_;
    std::optional<TVKey> flash_;
    QSizeF size_{0, 0};
    std::optional<Input> input_;
    TVKey downZone_ = TVKey::center;
    core::TaskHandle holdTask_;
    bool repeating_ = false;
    std::deque<core::TaskHandle> flashResets_;
    std::size_t flashResetsRun_ = 0;
};

} // namespace telvanto::app

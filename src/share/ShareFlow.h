#pragma once

#include "core/Scheduler.h"
#include "linksender/LinkSender.h"
#include "share/SharedItems.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace telvanto::share {

// Sendora's model: finds the one web link in the shared items, hands it to a LinkSender and
// shows how it went. The status sheet observes it; after a success it asks to be closed.
class ShareFlow final : public QObject {
    Q_OBJECT
    // "sending", "done" or "failed", for the sheet
    Q_PROPERTY(QString status READ status NOTIFY stateChanged)
    // the failure text; empty unless failed
    Q_PROPERTY(QString message READ message NOTIFY stateChanged)

public:
    // Long enough to read "done", short enough not to be in the way.
    static constexpr core::Duration closeDelay = std::chrono::seconds(1);

    struct State {
        enum class Kind { failed, sending, done };
        Kind kind = Kind::sending;
        std::string message; // failed only

        static State failed(std::string message) { return {Kind::failed, std::move(message)}; }
        static State sending() { return {}; }
        static State done() { return {Kind::done, {}}; }
        bool operator==(const State& other) const
        {
            return kind == other.kind && (kind != Kind::failed || message == other.message);
        }
    };

    // Why a run failed, for the program's exit status.
    enum class Failure { noLink, notPaired, unreachable, timeout };

    explicit ShareFlow(linksender::LinkSender::Services services, QObject* parent = nullptr);

    // The link the flow sends: URL offers of every attachment first, then text offers, in
    // order; failed loads are skipped.
    static std::optional<linksender::WebLink> findLink(const std::vector<InputItem>& items);

    // Runs the flow once; a second call is ignored.
    void start(const std::vector<InputItem>& items);

    const State& state() const { return state_; }
    std::optional<Failure> failure() const { return failure_; }
    QString status() const;
    QString message() const { return QString::fromStdString(state_.message); }

    // Closes the sheet; runs once, closeDelay after a success.
    std::function<void()> onFinish;

Q_SIGNALS:
    void stateChanged();

private:
    void setState(State state);
    void fail(Failure failure, std::string_view message);

    linksender::LinkSender::Services services_;
    linksender::LinkSender sender_;
    State state_;
    std::optional<Failure> failure_;
    bool started_ = false;
    core::TaskHandle closeTimer_;
};

} // namespace telvanto::share

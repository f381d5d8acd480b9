#pragma once

#include "linksender/Log.h"
#include "share/ShareFlow.h"

#include "FakeChannel.h"
#include "PairedStore.h"
#include "VirtualScheduler.h"

#include <map>
#include <sstream>

namespace telvanto::testing {

// Keeps the log lines so tests can read them.
struct RecordingLog final : linksender::Log { void info(std::string_view line) override { lines.emplace_back(line); } std::vector<std::string> lines; };

// One share flow over a scripted TV in virtual time. events: what the flow showed ("done" or
// the failure text) and its requests to close, each with its time: "done@2800 close@3800".
struct ShareRig {
    explicit ShareRig(PairedStore::Items stored = {}) : paired(stored) { flow.onFinish = [this] { note("close"); }; }

    // Words of a script: "share[=URL]" starts the flow with one URL, "nothing" with no items;
    // a number waits until that many ms after the start; the rest is what the TV does then:
    // conf[=FEATURES] active ping=N start off noise close close:io|conn|tls.
    void play(const std::string& script)
    {
        using Kind = transport::Channel::Error::Kind;
        namespace TvMsg = tvsim::TvMsg;
        const std::map<std::string, Kind> kinds{{"io", Kind::io}, {"conn", Kind::connection}, {"tls", Kind::tls}};
        std::istringstream words(script);
        for (std::string word; words >> word;) {
            const std::string verb = word.substr(0, word.find_first_of("=:")), arg = word.substr(std::min(verb.size() + 1, word.size()));
            if (std::isdigit(static_cast<unsigned char>(word[0]))) scheduler.advance(std::max<core::Duration>(std::chrono::milliseconds(std::stoi(word)) - now(), {}));
            else if (verb == "share") flow.start({{{share::Attachment::url(arg.empty() ? "https://www.example.com/watch?v=42" : arg)}}});
            else if (verb == "nothing") flow.start({});
            else if (verb == "conf") tv().receiveFrame(TvMsg::configure(arg.empty() ? 615 : std::stoll(arg), "m", "v"));
            else if (verb == "active") tv().receiveFrame(TvMsg::setActive());
            else if (verb == "ping") tv().receiveFrame(TvMsg::ping(std::stoll(arg)));
            else if (verb == "start" || verb == "off") tv().receiveFrame(TvMsg::start(verb == "start"));
            else if (verb == "close") arg.empty() ? tv().close() : tv().close(transport::Channel::Error{kinds.at(arg), arg});
            else for (const Bytes& frame : {TvMsg::volume(5, 100, false), TvMsg::currentApp("x"), TvMsg::imeBatch(1, 2), TvMsg::error(), toBytes("\x03\xff\xff\xff")})
                tv().receiveFrame(frame); // noise
        }
    }
    core::Duration now() const { return scheduler.now() - start; }
    void note(const std::string& what) { events += (events.empty() ? "" : " ") + what + "@" + std::to_string(now() / std::chrono::milliseconds(1)); }
    std::string sent() { std::string out; for (const std::string& word : received(tv())) out += (out.empty() ? "" : ",") + word; return out; }
    linksender::LinkSender::Services services() { return {paired.store, channels, scheduler, log, 16466}; }
    FakeChannel& tv() { return channels.last(); }

    PairedStore paired;
    VirtualScheduler scheduler;
    const core::TimePoint start = scheduler.now();
    FakeChannelFactory channels{scheduler};
    RecordingLog log;
    share::ShareFlow flow{services()};
    std::string events;
    QMetaObject::Connection shown = QObject::connect(&flow, &share::ShareFlow::stateChanged, [this] { note(flow.state() == share::ShareFlow::State::done() ? "done" : flow.state().message); });
};

} // namespace telvanto::testing

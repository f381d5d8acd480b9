#pragma once

#include "core/Scheduler.h"
#include "tv/TVController.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

namespace telvanto::cli {

// Exit statuses a script can test.
enum class Exit {
    ok = 0,
    failed = 1,      // anything else: the TV refused pairing, the identity could not be made
    badArguments = 2,
    notPaired = 3,   // no pairing, or the TV no longer accepts it: pair again
    unreachable = 4, // the TV did not answer, or there is no way to search for it
    timeout = 5,
    wrongCode = 6,
    noCode = 7,         // pair: the input ended before a code was typed
    interrupted = 130,  // a one-shot command stopped by a signal before it was done
};

// What the command line asks for.
struct Request {
    enum class Command { pair, status, key, text, launch, link, watch, discover };
    static constexpr std::chrono::milliseconds defaultTimeout{10000};
    static constexpr std::chrono::milliseconds defaultDiscoverTimeout{3000};

    Command command;
    QStringList args;                // key names, the text, the package or name, the link
    std::optional<QString> host;     // --host
    std::optional<QString> code;     // pair --code
    bool json = false;               // status --json
    std::chrono::milliseconds timeout = defaultTimeout; // --timeout, else the command's own
};

// Parses the arguments after the program name; an error text when they make no sense.
std::variant<Request, QString> parseArguments(const QStringList& arguments, quint16* pairPort, quint16* remotePort);
QString usage();
// What launch sends for a name: the catalogue app's package, or the name itself when it is an
// Android package name; none when it is neither.
std::optional<QString> packageFor(const QString& name);

// Runs one request against the controller and reports its exit status through done.
// Output goes to the given sinks (standard output and standard error in the program).
class RemoteCli : public QObject {
    Q_OBJECT

public:
    using Sink = std::function<void(const QString& line)>;

    // After "connected", what a TV reports at once (volume, the app in front, the text-field
    // counters) arrives in the same burst; a TV that holds some of it back gets this long.
    static constexpr std::chrono::milliseconds settle{300};

    RemoteCli(tv::TVController& controller, core::Scheduler& scheduler, Request request, Sink out, Sink err,
              QObject* parent = nullptr);
    ~RemoteCli() override;

    void run(std::function<void(Exit)> done);
    // A code typed by the user (pair without --code).
    void codeEntered(const QString& code);
    // The user's input ended; pair without a code gives up.
    void inputEnded();

    // The cause of a failed connection, in a few words.
    static QString cause(const transport::Channel::Error& error);

Q_SIGNALS:
    void codeWanted(); // the TV shows its code now

private:
    void connectAndThen(std::function<void()> then);
    void watchStatus();
    void finish(Exit code);
    void printStatus();
    void fail(Exit code, const QString& message);
    void startDeadline();
    void onDeadline();
    QString describe(const tv::TVController::Status& status) const;
    // The text followed by what the controller knows of the last failure.
    QString withCause(const QString& text) const;
    void onStatus();
    void onPairingStatus(const tv::TVController::Status& status);

    tv::TVController& controller_;
    core::Scheduler& scheduler_;
    Request request_;
    Sink out_, err_;
    std::function<void(Exit)> done_;
    std::function<void()> onConnected_;
    core::TaskHandle deadline_;
    core::TaskHandle soon_;
    core::TaskHandle settleTimer_;
    std::optional<tv::TVController::Status> printed_; // watch: the status last printed
    bool finished_ = false;
    bool pairing_ = false;
    bool waitingForPerson_ = false; // the code is asked for and not typed yet
    bool codeSubmitted_ = false;
    bool secretAccepted_ = false;   // the TV took the secret: its key is pinned
};

} // namespace telvanto::cli

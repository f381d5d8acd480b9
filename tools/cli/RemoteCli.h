#pragma once

#include "tv/TVController.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QSocketNotifier;

namespace telvanto::cli {

// Exit statuses a script can test.
enum class Exit {
    ok = 0,
    failed = 1,      // anything else: the TV refused pairing, the identity could not be made
    badArguments = 2,
    notPaired = 3,   // no pairing, or the TV no longer accepts it: pair again
    unreachable = 4, // the TV did not answer
    timeout = 5,
    wrongCode = 6,
};

// What the command line asks for.
struct Request {
    enum class Command { pair, status, key, text, launch, link, watch, discover };
    Command command;
    QStringList args;                // key names, the text, the package or name, the link
    std::optional<QString> host;     // --host
    std::optional<QString> code;     // pair --code
    bool json = false;               // status --json
    std::chrono::milliseconds timeout{10000};
};

// Parses the arguments after the program name; an error text when they make no sense.
std::variant<Request, QString> parseArguments(const QStringList& arguments, quint16* pairPort, quint16* remotePort);
QString usage();

// Runs one request against the controller and reports its exit status through done.
// Output goes to the given sinks (standard output and standard error in the program).
class RemoteCli : public QObject {
    Q_OBJECT

public:
    using Sink = std::function<void(const QString& line)>;

    RemoteCli(tv::TVController& controller, Request request, Sink out, Sink err, QObject* parent = nullptr);
    ~RemoteCli() override;

    void run(std::function<void(Exit)> done);
    // A code typed by the user (pair without --code).
    void codeEntered(const QString& code);

Q_SIGNALS:
    void codeWanted(); // the TV shows its code now

private:
    void connectAndThen(std::function<void()> then);
    void watchStatus();
    void finish(Exit code);
    void printStatus();
    void fail(Exit code, const QString& message);
    static QString describe(const tv::TVController::Status& status);
    void onStatus();

    tv::TVController& controller_;
    Request request_;
    Sink out_, err_;
    std::function<void(Exit)> done_;
    std::function<void()> onConnected_;
    QTimer deadline_;
    bool finished_ = false;
    bool pairing_ = false;
};

} // namespace telvanto::cli

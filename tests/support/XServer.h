#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace telvanto::testing {

// An X server of the test's own (Xvfb, or Xorg with a config file), on a display number the
// server picks itself (-displayfd), so tests never collide with a desktop or with each other.
class XServer {
public:
    // program: "Xvfb" or "Xorg"; args: its options besides -displayfd. Empty name() when it
    // did not come up within the limit.
    XServer(const QString& program, QStringList args, int limitMs = 15000)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        std::vector<std::string> argv{program.toStdString()};
        for (const QString& a : args << "-displayfd" << "3") argv.push_back(a.toStdString());
        if ((pid_ = ::fork()) == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM); // a test that dies takes its server along
            ::dup2(fds[1], 3);                  // dup2 clears close-on-exec
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1), ::dup2(null, 2);
            std::vector<char*> raw;
            for (auto& a : argv) raw.push_back(a.data());
            raw.push_back(nullptr);
            ::execvp(raw[0], raw.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        for (char c = 0; pid_ > 0 && ::poll(&p, 1, limitMs) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + QByteArray::fromStdString(number);
    }
    ~XServer() { stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const QByteArray& name() const { return name_; }

    void stop() { end(SIGTERM); }

    // Ends the server at once, as a crash looks to its clients, and clears what it leaves.
    void crash()
    {
        end(SIGKILL);
        if (name_.isEmpty()) return;
        const QByteArray number = name_.mid(1);
        ::unlink(("/tmp/.X" + number + "-lock").constData());
        ::unlink(("/tmp/.X11-unix/X" + number).constData());
    }

private:
    void end(int signal)
    {
        if (pid_ > 0) ::kill(pid_, signal), ::waitpid(std::exchange(pid_, -1), nullptr, 0);
    }

    pid_t pid_ = -1;
    QByteArray name_;
};

} // namespace telvanto::testing

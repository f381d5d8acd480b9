#pragma once

#include <QProcess>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace telvanto::testing {

// An X server of the test's own (Xvfb, or Xorg with a config file), on a display number the
// server picks itself (-displayfd), so tests never collide with a desktop or with each other.
class XServer {
public:
    // Empty name() when the server did not come up within the limit.
    XServer(const QString& program, QStringList args, int limitMs = 15000)
    {
        process.setStandardErrorFile(QProcess::nullDevice());
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }); // a test that dies takes its server along
        process.start(program, args << "-displayfd" << "1");
        while (!process.canReadLine() && process.waitForReadyRead(limitMs)) {}
        if (const QByteArray number = process.readLine().trimmed(); !number.isEmpty()) name_ = ":" + number;
    }
    ~XServer() { process.terminate(), process.waitForFinished(); }
    const QByteArray& name() const { return name_; }

    // Ends the server at once, as a crash looks to its clients, and clears what it leaves.
    void crash()
    {
        process.kill(), process.waitForFinished();
        for (const QByteArray& path : {"/tmp/.X" + name_.mid(1) + "-lock", "/tmp/.X11-unix/X" + name_.mid(1)}) ::unlink(path.constData());
    }

private:
    QProcess process;
    QByteArray name_;
};

} // namespace telvanto::testing

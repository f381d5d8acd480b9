// sendora, the program, against the simulated TV over real TLS.
#include "linksender/LinkSender.h"

#include "Tvsim.h"

#include <QElapsedTimer>
#include <QFile>

using Failure = telvanto::linksender::LinkSender::Failure;

namespace {

QString text(Failure failure)
{
    const auto t = telvanto::linksender::LinkSender::description(failure);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// An X display number nobody serves here.
QString silentDisplay()
{
    int n = 4200;
    while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QString("/tmp/.X%1-lock").arg(n))) ++n;
    return QString("DISPLAY=:%1").arg(n);
}

} // namespace

// The TV wakes and opens exactly the link. A TV that cannot be reached, that no longer takes
// our certificate or that is another TV at the address: pairing again is what helps then,
// not checking the Wi-Fi. Without a display that answers, the outcome goes to the terminal
// and the clipboard cannot be read, a usage error; never an abort.
TEST(SendoraWithTvsim, OutcomesTable)
{
    telvanto::testing::TvsimRig rig;
    rig.pair();
    QElapsedTimer clock;
    qint64 linkArrived = -1;
    QObject::connect(rig.tv.get(), &telvanto::tvsim::Simulator::received, [&](const QString& what) {
        if (what.startsWith("appLink") && linkArrived < 0) linkArrived = clock.elapsed();
    });
    const QStringList sent{"configure", "setActive", "key wakeUp", "appLink https://example.com"};
    const QStringList gui{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"}; // all unset
    const struct {
        const char* name;
        const char* data;
        const char* forTv; // a command for the TV first
        QStringList env;   // NAME=value, or NAME to unset; none: --no-gui
        QStringList args;
        int exit;
        QString out, err;
        QStringList received;
    } rows[] = {
        {"sent", "client", nullptr, {}, {"Pozri toto: https://example.com/článok?id=7, je dobré."}, 0, QString::fromUtf8("Beží na TV\n"), "",
         {"configure", "setActive", "key wakeUp", "appLink https://example.com/%C4%8Dl%C3%A1nok?id=7"}},
        {"TV stopped", "client", "refuse on", {}, {"https://example.com"}, 3, "", text(Failure::unreachable), {}},
        {"not paired", "none", nullptr, {}, {"https://example.com"}, 2, "", text(Failure::notPaired), {}},
        {"no display", "client", nullptr, gui, {"https://example.com"}, 0, QString::fromUtf8("Beží na TV\n"), "", sent},
        {"no display, not paired", "none", nullptr, gui, {"https://example.com"}, 2, "", text(Failure::notPaired), {}},
        {"no display, clipboard", "client", nullptr, gui, {"--clipboard"}, 64, "", "sendora: no display, so there is no clipboard to read", {}},
        {"X platform asked, no display", "none", nullptr, gui + QStringList{"QT_QPA_PLATFORM=xcb"}, {"https://example.com"}, 2, "",
         text(Failure::notPaired), {}},
        {"a Wayland session, no display", "none", nullptr, gui + QStringList{"XDG_SESSION_TYPE=wayland"}, {"https://example.com"}, 2, "",
         text(Failure::notPaired), {}},
        {"a display nobody serves", "client", nullptr, gui + QStringList{silentDisplay()}, {"https://example.com"}, 0,
         QString::fromUtf8("Beží na TV\n"), "", sent},
        {"a display nobody serves, clipboard", "client", nullptr, gui + QStringList{silentDisplay()}, {"--clipboard", "x"}, 64, "",
         "sendora: no display, so there is no clipboard to read", {}},
        {"the TV forgot us", "client", "forget", {}, {"https://example.com"}, 2, "", text(Failure::notPaired) + "\n", {}},
        {"another TV at the address", "client", "new-identity", {}, {"https://example.com"}, 2, "", text(Failure::notPaired) + "\n", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.forTv) rig.tv->runCommand(row.forTv);
        const QStringList options = row.env.isEmpty() ? QStringList{"--no-gui"} : QStringList{};
        clock.start();
        rig.start(TELVANTO_BIN_DIR "/sendora", options + QStringList{"--remote-port", QString::number(rig.tv->remotePort())} + row.args, row.data, row.env);
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        EXPECT_EQ(rig.out, row.out);
        EXPECT_TRUE(row.err.isEmpty() ? !rig.err.contains("sendora") : rig.err.contains(row.err)) << rig.err.toStdString();
        EXPECT_FALSE(rig.err.contains("qt.qpa")) << rig.err.toStdString();
        EXPECT_EQ(rig.received, row.received);
        if (!row.received.isEmpty()) { EXPECT_EQ(rig.tv->foregroundApp(), "com.android.chrome"); }
        if (row.forTv) rig.tv->runCommand("refuse off"), rig.pair();
        rig.received.clear();
    }
    std::printf("figure: sendora start to the TV receiving the link: %lld ms\n", static_cast<long long>(linkArrived));
}

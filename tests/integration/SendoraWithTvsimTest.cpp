// sendora, the program, against the simulated TV over real TLS.
#include "Tvsim.h"

// The TV wakes and opens exactly the link. A TV that no longer takes our certificate: pairing
// again is what helps then. Without a display, or with one that does not answer, the outcome
// goes to the terminal and the clipboard cannot be read, a usage error; never an abort.
TEST(SendoraWithTvsim, OutcomesTable)
{
    telvanto::testing::TvsimRig rig;
    rig.pair();
    const QStringList gui{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"};
    const QString url = "https://example.com";
    const QString ok = QString::fromUtf8("Beží na TV\n"), notPaired = QString::fromUtf8("Najprv otvor Telvanto a spáruj ho s TV.\n");
    const QStringList sent{"configure", "setActive", "key wakeUp", "appLink https://example.com"};
    const struct {
        const char* data;
        const char* forTv; // a command for the TV first
        QStringList env; // NAME=value, or NAME to unset; none: --no-gui
        QString arg;
        int exit;
        QString out, err; // err: a line standard error holds
        QStringList received;
    } rows[] = {
        {"none", nullptr, {}, url, 2, "", notPaired, {}},
        {"client", nullptr, gui + QStringList{"QT_QPA_PLATFORM=xcb"}, url, 0, ok, "", sent}, // a display nobody serves
        {"client", nullptr, gui, "--clipboard", 64, "", "sendora: no display, so there is no clipboard to read", {}},
        {"client", "forget", {}, url, 2, "", notPaired, {}}, // the TV no longer knows us
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.env.join(' ').toStdString() + " " + row.data + " " + (row.forTv ? row.forTv : "") + " " + row.arg.toStdString());
        if (row.forTv) rig.tv->runCommand(row.forTv);
        rig.start(TELVANTO_BIN_DIR "/sendora", (row.env.isEmpty() ? QStringList{"--no-gui"} : QStringList{}) + QStringList{"--remote-port", QString::number(rig.tv->remotePort()), row.arg}, row.data, row.env);
        EXPECT_EQ(rig.finish(), row.exit) << rig.err.toStdString();
        EXPECT_EQ(rig.out, row.out);
        EXPECT_TRUE(row.err.isEmpty() ? !rig.err.contains("sendora") : rig.err.contains(row.err)) << rig.err.toStdString();
        EXPECT_FALSE(rig.err.contains("qt.qpa")) << rig.err.toStdString();
        EXPECT_EQ(rig.received, row.received);
        if (!row.received.isEmpty()) { EXPECT_EQ(rig.tv->foregroundApp(), "com.android.chrome"); }
        rig.received.clear();
    }
}

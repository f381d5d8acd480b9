// A stand-in for the desktop panel that receiver selection drives over AT-SPI: a status area
// with the panel's item, a panel window with a screen-mirroring tile, and receiver rows
// behind it. Qt exports no accessible ids, so each element carries its id in the description.
// Reports what happens to it on standard output, one line per event.
//
//   atspi-panel-fixture [--quit-on-tile] NAME[=on]...
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>
#include <map>

namespace {

void report(const QString& line) { std::printf("%s\n", line.toUtf8().constData()), std::fflush(stdout); }

QPushButton* button(QWidget* parent, const QString& name, const QString& id)
{
    auto* b = new QPushButton(parent);
    b->setText(name), b->setAccessibleName(name), b->setAccessibleDescription(id);
    return b;
}

// The panel that opens from the status item, a dialog (a window on AT-SPI); Escape closes it.
struct Panel final : QDialog {
    void reject() override { report("escape"), QDialog::reject(); }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication::setApplicationName("com.apple.controlcenter");
    QApplication app(argc, argv);
    bool quitOnTile = false;
    QStringList receivers;
    std::map<QString, bool> on; // by receiver
    for (QStringList args = app.arguments().mid(1); !args.isEmpty();) {
        const QString arg = args.takeFirst();
        if (arg == "--quit-on-tile") quitOnTile = true;
        else on[receivers.emplace_back(arg.section('=', 0, 0))] = arg.endsWith("=on");
    }

    // The bar holding the status area is a plain widget, no window on AT-SPI (a "filler").
    QWidget bar;
    auto* status = new QStatusBar(&bar);
    (new QVBoxLayout(&bar))->addWidget(status);
    // The second matches a mirroring keyword, but is a status item, not the panel's tile.
    using Named = std::pair<const char*, const char*>[3];
    QPushButton* centre = nullptr;
    for (const auto& [name, id] : Named{{"Wi-Fi", "wifi"}, {"Zrkadlenie obrazovky", "screenmirroring"}, {"Ovládacie centrum", "controlcenter"}}) {
        status->addWidget(centre = button(status, name, QStringLiteral("com.apple.menuextra.") + id));
        QObject::connect(centre, &QPushButton::clicked, [name = QString(name)] { report("pressed item " + name); });
    }

    Panel panel;
    panel.setWindowTitle("Ovládacie centrum");
    auto* layout = new QVBoxLayout(&panel);
    QPushButton* tile = nullptr; // the last
    for (const auto& [name, id] : Named{{"Wi-Fi", "wifi"}, {"Bluetooth", "bluetooth"}, {"Zrkadlenie obrazovky", "screen-mirroring"}})
        layout->addWidget(tile = button(&panel, name, QStringLiteral("controlcenter-") + id));

    // Rows are made when the tile is pressed and go when the panel closes; the receivers keep
    // their state in between.
    QWidget* list = nullptr;
    QObject::connect(&panel, &QDialog::finished, [&] { delete std::exchange(list, nullptr); });
    QObject::connect(centre, &QPushButton::clicked, [&] { panel.show(), panel.activateWindow(); });
    QObject::connect(tile, &QPushButton::clicked, [&] {
        report("pressed tile");
        if (quitOnTile) return QApplication::quit();
        delete list;
        layout->addWidget(list = new QWidget(&panel));
        list->setLayout(new QVBoxLayout);
        for (const QString& name : receivers) {
            auto* row = button(list, name, "Screen-Mirroring-Device-" + name.toLower().remove(' '));
            list->layout()->addWidget(row);
            row->setCheckable(true), row->setChecked(on[name]);
            QObject::connect(row, &QPushButton::toggled, [&on, name](bool checked) { on[name] = checked, report("row " + name + (checked ? " on" : " off")); });
        }
    });

    bar.show();
    report("ready");
    return QApplication::exec();
}

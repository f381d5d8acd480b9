// A stand-in for the desktop panel that receiver selection drives over AT-SPI: a status area
// with the panel's item, a panel window with a screen-mirroring tile, and receiver rows
// behind it. Qt exports no accessible ids, so each element carries its id in the description.
// Reports what happens to it on standard output, one line per event.
//
//   atspi-panel-fixture [--rows-delay MS] [--quit-on-tile] NAME[=on]...
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <map>

namespace {

void report(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QPushButton* button(QWidget* parent, const QString& name, const QString& id)
{
    auto* b = new QPushButton(name, parent);
    b->setAccessibleName(name);
    b->setAccessibleDescription(id);
    parent->layout()->addWidget(b);
    return b;
}

// The panel that opens from the status item, a dialog (a window on AT-SPI); Escape closes it.
class Panel final : public QDialog {
public:
    Panel() { setWindowTitle(QStringLiteral("Ovládacie centrum")); }

    void reject() override
    {
        report(QStringLiteral("escape"));
        QDialog::reject();
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication::setApplicationName(QStringLiteral("com.apple.controlcenter"));
    QApplication app(argc, argv);

    int rowsDelay = 0;
    bool quitOnTile = false;
    QStringList receivers;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rows-delay") && i + 1 < args.size()) rowsDelay = args[++i].toInt();
        else if (args[i] == QLatin1String("--quit-on-tile")) quitOnTile = true;
        else receivers << args[i];
    }

    // The bar holding the status area is a plain widget, no window on AT-SPI (a "filler").
    QWidget bar;
    bar.setWindowTitle(QStringLiteral("Lišta"));
    auto* barLayout = new QVBoxLayout(&bar);
    auto* status = new QStatusBar(&bar);
    barLayout->addWidget(status);
    const auto addItem = [&](const QString& name, const QString& id) {
        auto* item = new QToolButton(status);
        item->setText(name);
        item->setAccessibleName(name);
        item->setAccessibleDescription(id);
        status->addWidget(item);
        QObject::connect(item, &QToolButton::clicked, [name] { report(QStringLiteral("pressed item ") + name); });
        return item;
    };
    addItem(QStringLiteral("Wi-Fi"), QStringLiteral("com.apple.menuextra.wifi"));
    // Matches a mirroring keyword, but is a status item, not the panel's tile.
    addItem(QStringLiteral("Zrkadlenie obrazovky"), QStringLiteral("com.apple.menuextra.screenmirroring"));
    QToolButton* centre = addItem(QStringLiteral("Ovládacie centrum"), QStringLiteral("com.apple.menuextra.controlcenter"));

    Panel panel;
    auto* panelLayout = new QVBoxLayout(&panel);
    panelLayout->setSpacing(2);
    button(&panel, QStringLiteral("Wi-Fi"), QStringLiteral("controlcenter-wifi"));
    button(&panel, QStringLiteral("Bluetooth"), QStringLiteral("controlcenter-bluetooth"));
    QPushButton* tile = button(&panel, QStringLiteral("Zrkadlenie obrazovky"), QStringLiteral("controlcenter-screen-mirroring"));

    // Rows are made a little after the tile is pressed, as a real list fills while it
    // searches, and go when the panel closes; the receivers keep their state in between.
    std::map<QString, bool> on;
    for (const QString& entry : receivers) on[entry.section(QLatin1Char('='), 0, 0)] = entry.endsWith(QLatin1String("=on"));
    QWidget* list = nullptr;
    const auto fillList = [&] {
        delete list;
        list = new QWidget(&panel);
        list->setLayout(new QVBoxLayout);
        panelLayout->addWidget(list);
        for (const QString& entry : receivers) {
            const QString name = entry.section(QLatin1Char('='), 0, 0);
            QPushButton* row = button(list, name, QStringLiteral("Screen-Mirroring-Device-") + name.toLower().remove(QLatin1Char(' ')));
            row->setCheckable(true);
            row->setChecked(on[name]);
            QObject::connect(row, &QPushButton::toggled, [&on, name](bool checked) {
                on[name] = checked;
                report(QStringLiteral("row ") + name + (checked ? QStringLiteral(" on") : QStringLiteral(" off")));
            });
        }
    };
    QObject::connect(&panel, &QDialog::finished, [&] {
        delete list;
        list = nullptr;
    });

    QObject::connect(centre, &QToolButton::clicked, [&] {
        panel.show();
        panel.activateWindow();
    });
    QObject::connect(tile, &QPushButton::clicked, [&] {
        report(QStringLiteral("pressed tile"));
        if (quitOnTile) return QApplication::quit();
        QTimer::singleShot(rowsDelay, &panel, fillList);
    });

    bar.show();
    report(QStringLiteral("ready"));
    return QApplication::exec();
}

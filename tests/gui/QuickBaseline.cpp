// The yardstick of scripts/bench-app: the least a Qt Quick Controls window costs here, with
// nothing of Telvanto in it.
#include <QGuiApplication>
#include <QQmlApplicationEngine>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData(R"(
        import QtQuick
        import QtQuick.Controls.Basic
        ApplicationWindow {
            width: 460; height: 860; visible: true; title: "Baseline"
            Button { anchors.centerIn: parent; text: "Domov" }
        }
    )");
    return engine.rootObjects().isEmpty() ? 1 : QGuiApplication::exec();
}

import QtQuick
import QtQuick.Layouts
import Telvanto

// Mute, volume down and up, and the TV's level.
Rectangle {
    id: bar
    required property RemoteView view

    implicitHeight: row.implicitHeight + 24
    radius: 22
    color: Theme.white(0.06)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        CircleButton {
            objectName: "mute"
            symbol: bar.view.speakerSymbol
            size: 48
            onClicked: bar.view.press("mute")
            Accessible.name: "Stlmiť"
        }
        RepeatButton {
            objectName: "volumeDown"
            symbol: "minus"
            action: bar.view.volumeDown
            name: "Hlasitosť nadol"
        }
        Item {
            id: level
            objectName: "level"
            Layout.fillWidth: true
            implicitHeight: 8
            Rectangle {
                anchors.fill: parent
                radius: 4
                color: Theme.white(0.1)
            }
            Rectangle {
                objectName: "levelFill"
                height: parent.height
                radius: 4
                // A level above the maximum fills the bar and stops at its end.
                width: Math.min(Math.max(level.width * bar.view.volumeFraction, 8), level.width)
                color: Theme.white(0.8)
            }
            Accessible.role: Accessible.ProgressBar
            Accessible.name: "Hlasitosť"
        }
        RepeatButton {
            objectName: "volumeUp"
            symbol: "plus"
            action: bar.view.volumeUp
            name: "Hlasitosť nahor"
        }
    }
}

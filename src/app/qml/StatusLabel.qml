import QtQuick
import Telvanto

// The connection status: a coloured dot and the status text.
Row {
    required property string text
    required property color colour

    spacing: 6
    Rectangle {
        anchors.verticalCenter: parent.verticalCenter
        width: 7
        height: 7
        radius: 3.5
        color: parent.colour
        Accessible.ignored: true
    }
    StaticText {
        anchors.verticalCenter: parent.verticalCenter
        text: parent.text
        font.pixelSize: Theme.caption
        color: Theme.secondary
    }
}

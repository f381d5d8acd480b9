import QtQuick
import QtQuick.Controls.Basic
import Telvanto

// A round symbol button that acts once per click.
Button {
    id: button
    required property string symbol
    property color tint: "white"
    property real size: 44

    implicitWidth: size
    implicitHeight: size
    padding: 0
    focusPolicy: Qt.NoFocus
    opacity: down ? 0.6 : 1
    background: Rectangle {
        radius: button.size / 2
        color: Theme.white(0.1)
        border.width: 1
        border.color: Theme.white(0.12)
    }
    contentItem: Glyph {
        symbol: button.symbol
        size: button.size * 0.36
        bold: true
        color: button.tint
    }
    Accessible.onPressAction: clicked()
}

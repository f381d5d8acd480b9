import QtQuick
import QtQuick.Controls.Basic
import Telvanto

// A text button without a background.
Button {
    id: button
    property color textColor: Theme.secondary

    focusPolicy: Qt.NoFocus
    padding: 4
    font.pixelSize: Theme.body
    opacity: down ? 0.6 : 1
    background: Item {}
    contentItem: Text {
        text: button.text
        font: button.font
        color: button.textColor
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    Accessible.onPressAction: clicked()
}

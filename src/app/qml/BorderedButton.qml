import QtQuick
import QtQuick.Controls.Basic
import Telvanto

// A text button on a light grey fill, for secondary actions on cards.
Button {
    id: button
    focusPolicy: Qt.NoFocus
    leftPadding: 12
    rightPadding: 12
    topPadding: 5
    bottomPadding: 5
    font.pixelSize: Theme.footnote
    background: Rectangle {
        radius: 6
        color: Theme.white(button.down ? 0.24 : 0.14)
    }
    contentItem: Text {
        text: button.text
        font: button.font
        color: "white"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    Accessible.onPressAction: clicked()
}

import QtQuick
import QtQuick.Controls.Basic
import Telvanto

// One app of the catalogue: its symbol and name on its colour, outlined while it runs on the TV.
Button {
    id: tile
    required property var app
    required property bool current

    implicitHeight: 72
    focusPolicy: Qt.NoFocus
    opacity: down ? 0.7 : 1
    padding: 6

    background: GradientPlate {
        color: tile.app.color
        radius: 18
        outlined: tile.current
    }
    contentItem: Item {
        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width
            spacing: 6
            Glyph {
                anchors.horizontalCenter: parent.horizontalCenter
                symbol: tile.app.symbol
                size: Theme.title2
            }
            Text {
                width: parent.width
                text: tile.app.name
                font.pixelSize: Theme.caption
                font.weight: Font.Medium
                color: "white"
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
                maximumLineCount: 1
            }
        }
    }
    Accessible.name: app.name
    Accessible.onPressAction: clicked()
}

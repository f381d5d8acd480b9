import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// The five transport keys.
Rectangle {
    id: media
    required property RemoteView view

    implicitHeight: row.implicitHeight + 16
    radius: 22
    color: Theme.white(0.06)

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 8
        spacing: 8
        Repeater {
            model: media.view.mediaKeys
            delegate: Button {
                id: button
                required property var modelData
                Layout.fillWidth: true
                Layout.preferredWidth: 1 // equal shares
                implicitHeight: 44
                focusPolicy: Qt.NoFocus
                opacity: down ? 0.6 : 1
                background: Item {}
                contentItem: Glyph { symbol: button.modelData.symbol; size: Theme.title3 }
                onClicked: media.view.press(button.modelData.key)
                Accessible.name: button.modelData.name
                Accessible.onPressAction: clicked()
            }
        }
    }
}

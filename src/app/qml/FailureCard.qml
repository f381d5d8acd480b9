import QtQuick
import QtQuick.Layouts
import Telvanto

// What went wrong with a TV that is paired, and the two ways out.
Rectangle {
    id: card
    required property RemoteView view

    implicitHeight: content.implicitHeight + 28
    radius: 18
    color: Qt.rgba(1, 159 / 255, 10 / 255, 0.15)

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 14
        spacing: 10
        StaticText {
            objectName: "failureText"
            text: card.view.failure
            font.pixelSize: Theme.subheadline
            color: "white"
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        Row {
            spacing: 8
            BorderedButton {
                text: "Pripojiť znova"
                onClicked: card.view.reconnect()
            }
            BorderedButton {
                text: "Spárovať znova"
                onClicked: card.view.pairAgain()
            }
        }
    }
}

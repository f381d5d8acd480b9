import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// Shown while the app and the TV do not trust each other yet: starts pairing, shows progress,
// takes the code the TV shows.
Rectangle {
    id: card
    required property RemoteView view
    readonly property PairingView pairing: view.pairing

    implicitHeight: content.implicitHeight + 48
    radius: 28
    color: Theme.white(0.06)

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 24
        spacing: 18

        // link.circle.fill: the link cut out of a filled circle
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 56
            implicitHeight: 56
            radius: 28
            color: Theme.white(0.9)
            Glyph {
                anchors.centerIn: parent
                symbol: "link.circle.fill"
                size: 26
                color: Qt.rgba(0.04, 0.04, 0.09, 1)
            }
        }
        StaticText {
            Layout.alignment: Qt.AlignHCenter
            text: "Spárovanie s TV"
            font.pixelSize: Theme.title2
            font.weight: Font.DemiBold
            color: "white"
        }

        Loader {
            objectName: "block"
            Layout.fillWidth: true
            sourceComponent: card.view.pairingBlock === "progress" ? progressBlock
                           : card.view.pairingBlock === "code" ? codeBlock : startBlock
        }
    }

    // pairing: the pairing connection is being opened
    Component {
        id: progressBlock
        ColumnLayout {
            objectName: "progressBlock"
            spacing: 8
            BusyIndicator {
                running: true
                implicitWidth: 32
                implicitHeight: 32
                Layout.alignment: Qt.AlignHCenter
            }
            StaticText {
                Layout.alignment: Qt.AlignHCenter
                text: "Pripájam sa k TV…"
                font.pixelSize: Theme.body
                color: Theme.secondary
            }
        }
    }

    // waitingForCode: the TV shows the code
    Component {
        id: codeBlock
        ColumnLayout {
            objectName: "codeBlock"
            spacing: 8
            Component.onCompleted: codeField.forceActiveFocus()
            StaticText {
                Layout.fillWidth: true
                text: "Na TV sa zobrazil 6-znakový kód. Prepíš ho sem."
                font.pixelSize: Theme.body
                color: Theme.secondary
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            TextField {
                id: codeField
                objectName: "codeField"
                Layout.fillWidth: true
                placeholderText: "napr. 3F9A1C"
                placeholderTextColor: Qt.rgba(235 / 255, 235 / 255, 245 / 255, 0.3)
                text: card.pairing.code
                onTextEdited: card.pairing.code = text
                font.family: Theme.monospace
                font.pixelSize: 34
                font.weight: Font.DemiBold
                horizontalAlignment: TextInput.AlignHCenter
                inputMethodHints: Qt.ImhNoPredictiveText | Qt.ImhNoAutoUppercase
                padding: 14
                color: "white"
                selectionColor: "#0a84ff"
                selectedTextColor: "white"
                background: Rectangle {
                    radius: 16
                    color: Theme.white(0.08)
                }
                Accessible.name: "Kód z TV"
            }
            StaticText {
                objectName: "wrongCode"
                visible: card.pairing.wrong
                Accessible.ignored: !visible
                Layout.alignment: Qt.AlignHCenter
                text: "Kód nesedí, skontroluj ho na TV."
                font.pixelSize: Theme.footnote
                color: Theme.red
            }
            PlainButton {
                Layout.alignment: Qt.AlignHCenter
                text: "Zrušiť"
                onClicked: card.view.cancelPairing()
            }
        }
    }

    // needsPairing, or failed before any pairing
    Component {
        id: startBlock
        ColumnLayout {
            objectName: "startBlock"
            spacing: 8
            StaticText {
                Layout.fillWidth: true
                text: "Appka sa s TV ešte nepozná. Po stlačení tlačidla sa na TV ukáže kód."
                font.pixelSize: Theme.body
                color: Theme.secondary
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
            Button {
                id: pairButton
                objectName: "pairButton"
                Layout.fillWidth: true
                implicitHeight: 50
                focusPolicy: Qt.NoFocus
                text: "Spárovať"
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
                opacity: down ? 0.7 : 1
                background: Rectangle {
                    radius: 16
                    color: "white"
                }
                contentItem: Text {
                    text: pairButton.text
                    font: pairButton.font
                    color: "black"
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                onClicked: card.view.startPairing()
                Accessible.onPressAction: clicked()
            }
            PlainButton {
                visible: card.view.isPaired
                Accessible.ignored: !visible
                Layout.alignment: Qt.AlignHCenter
                text: "Pripojiť znova"
                onClicked: card.view.reconnect()
            }
        }
    }
}

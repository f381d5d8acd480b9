import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// The TV in use and how the connection stands, the TV menu and the power button; carries the
// manual address dialog.
RowLayout {
    id: header
    required property RemoteView view

    spacing: 12

    Rectangle {
        implicitWidth: 44
        implicitHeight: 44
        radius: 12
        color: Theme.white(0.12)
        Glyph {
            anchors.centerIn: parent
            symbol: "tv"
            size: Theme.title2
            bold: true
        }
    }

    ColumnLayout {
        spacing: 2
        StaticText {
            objectName: "tvName"
            text: header.view.tvName
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: "white"
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        StatusLabel {
            objectName: "status"
            text: header.view.statusText
            colour: header.view.statusColor
        }
    }

    Item { Layout.fillWidth: true }

    Button {
        id: menuButton
        objectName: "tvMenuButton"
        implicitWidth: 44
        implicitHeight: 44
        padding: 0
        focusPolicy: Qt.NoFocus
        opacity: down ? 0.6 : 1
        background: Item {}
        contentItem: Glyph { symbol: "ellipsis"; size: Theme.headline }
        onClicked: tvMenu.popup(menuButton, 0, menuButton.height)
        Accessible.name: "TV menu"
        Accessible.onPressAction: clicked()

        Menu {
            id: tvMenu
            objectName: "tvMenu"

            Instantiator {
                model: header.view.tvMenu
                delegate: MenuItem {
                    required property var modelData
                    text: modelData.title
                    leftPadding: 36
                    onTriggered: header.view.selectTV(modelData.name, modelData.host)
                    Glyph {
                        objectName: "mark"
                        anchors.verticalCenter: parent.verticalCenter
                        x: 10
                        symbol: parent.modelData.symbol
                        size: Theme.footnote
                        color: parent.palette.windowText
                    }
                }
                onObjectAdded: (index, object) => tvMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => tvMenu.removeItem(object)
            }
            MenuSeparator {
                contentItem: Rectangle {
                    implicitHeight: 1
                    color: Theme.white(0.15)
                }
            }
            MenuItem {
                text: "Zadať IP adresu…"
                leftPadding: 36
                onTriggered: header.view.askForHost()
            }
            MenuItem {
                text: "Spárovať znova"
                leftPadding: 36
                onTriggered: header.view.pairAgain()
            }
        }
    }

    CircleButton {
        objectName: "power"
        symbol: "power"
        tint: Theme.red
        size: 44
        onClicked: header.view.press("power")
        Accessible.name: "Zapnúť / vypnúť TV"
    }

    Dialog {
        id: hostDialog
        objectName: "hostDialog"
        parent: header.Window.contentItem
        anchors.centerIn: parent
        width: 300
        modal: true
        title: "IP adresa TV"
        standardButtons: Dialog.NoButton
        onOpened: hostField.forceActiveFocus()
        onClosed: header.view.askHost = false

        TextField {
            id: hostField
            objectName: "hostField"
            width: parent.width
            placeholderText: "192.168.1.11"
            text: header.view.manualHost
            onTextEdited: header.view.manualHost = text
            onAccepted: hostDialog.accept()
            Accessible.name: "IP adresa TV"
        }

        footer: DialogButtonBox {
            Button {
                text: "Pripojiť"
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
                Accessible.onPressAction: clicked()
            }
            Button {
                text: "Zrušiť"
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole
                Accessible.onPressAction: clicked()
            }
        }
        onAccepted: header.view.connectManualHost()

        Connections {
            target: header.view
            function onAskHostChanged() {
                if (header.view.askHost) hostDialog.open()
                else hostDialog.close()
            }
        }
    }
}

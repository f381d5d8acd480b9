import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// The remote window: a dark scrolling column with the header, then either the pairing card or
// the remote controls.
ApplicationWindow {
    id: window
    objectName: "main"

    required property RemoteView view
    // A view shown above the touchpad, chosen by the window's creator.
    property Component extra: null

    width: 460
    height: 860
    minimumWidth: 420
    minimumHeight: 760
    title: "Telvanto"
    color: "#0d0f1f"

    // The dark scheme for everything the Basic style draws (menus, dialog, fields).
    palette.window: "#2c2c2e"
    palette.windowText: "white"
    palette.base: "#1c1c1e"
    palette.alternateBase: "#2c2c2e"
    palette.text: "white"
    palette.button: "#3a3a3c"
    palette.buttonText: "white"
    palette.brightText: "white"
    palette.highlight: "#0a84ff"
    palette.highlightedText: "white"
    palette.light: "#48484a"
    palette.midlight: "#3a3a3c"
    palette.mid: "#2c2c2e"
    palette.dark: "#1c1c1e"
    palette.shadow: "black"
    palette.placeholderText: Qt.rgba(235 / 255, 235 / 255, 245 / 255, 0.3)

    menuBar: MenuBar {
        objectName: "menuBar"
        font.pixelSize: Theme.footnote
        background: Rectangle { color: "#16171f"; implicitHeight: 24 }
        delegate: MenuBarItem {
            id: menuItem
            topPadding: 4
            bottomPadding: 4
            leftPadding: 10
            rightPadding: 10
            background: Rectangle {
                implicitHeight: 24
                color: menuItem.highlighted ? "#3a3a3c" : "transparent"
            }
        }
        Menu {
            title: "TV"
            Action {
                text: "Pripojiť znova"
                shortcut: "Ctrl+R"
                onTriggered: window.view.reconnect()
            }
            Action {
                text: "Spárovať znova"
                onTriggered: window.view.pairAgain()
            }
        }
    }

    // The window's own quit key: the tray menu's shortcut only works while that menu is open.
    Shortcut {
        sequence: "Ctrl+Q"
        onActivated: Qt.quit()
    }

    Backdrop {
        anchors.fill: parent
    }

    ScrollView {
        id: scroll
        objectName: "scroll"
        anchors.fill: parent
        contentWidth: availableWidth
        ScrollBar.vertical.policy: ScrollBar.AsNeeded

        Item {
            width: scroll.availableWidth
            implicitHeight: column.implicitHeight + 40

            ColumnLayout {
                id: column
                objectName: "column"
                width: Math.min(parent.width - 40, 460 - 40)
                x: (parent.width - width) / 2
                y: 20
                spacing: 18

                Header {
                    view: window.view
                    Layout.fillWidth: true
                }
                Loader {
                    objectName: "body"
                    Layout.fillWidth: true
                    sourceComponent: window.view.showsPairing ? pairingCard : controls
                }
            }
        }
    }

    Component {
        id: pairingCard
        PairingCard {
            objectName: "pairingCard"
            view: window.view
        }
    }
    Component {
        id: controls
        Controls {
            objectName: "controls"
            view: window.view
            extra: window.extra
        }
    }
}

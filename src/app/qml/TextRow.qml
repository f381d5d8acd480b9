import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// The text field whose every keystroke reaches the TV, and its delete button.
RowLayout {
    id: row
    required property RemoteView view

    spacing: 8

    TextField {
        id: field
        objectName: "textField"
        Layout.fillWidth: true
        placeholderText: "Napíš text do TV…"
        placeholderTextColor: Qt.rgba(235 / 255, 235 / 255, 245 / 255, 0.3)
        text: row.view.text
        onTextEdited: row.view.text = text
        onAccepted: row.view.submitText()
        padding: 12
        font.pixelSize: Theme.body
        color: "white"
        selectionColor: "#0a84ff"
        selectedTextColor: "white"
        background: Rectangle {
            radius: 12
            color: Theme.white(0.08)
        }
        Accessible.name: "Text do TV"
    }

    CircleButton {
        objectName: "delete"
        symbol: "delete.left"
        size: 44
        onClicked: row.view.deleteBackward()
        Accessible.name: "Zmazať"
    }
}

import QtQuick
import QtQuick.Controls.Basic
import Telvanto

// The remote window.
ApplicationWindow {
    id: window
    objectName: "main"

    required property RemoteView view

    width: 460
    height: 860
    minimumWidth: 420
    minimumHeight: 760
    title: "Telvanto"
    color: "#0d0f1f"

    Label {
        anchors.centerIn: parent
        text: window.view.statusText
        color: "white"
    }
}

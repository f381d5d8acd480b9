import QtQuick
import QtQuick.Layouts
import Telvanto

// The remote controls: failure card, the creator's extra view, touchpad, round buttons, text
// row, volume, media keys and apps.
ColumnLayout {
    id: controls
    required property RemoteView view
    property Component extra: null

    spacing: 18

    Loader {
        active: controls.view.showsFailure
        visible: active
        Layout.fillWidth: true
        sourceComponent: FailureCard {
            objectName: "failureCard"
            view: controls.view
        }
    }
    Loader {
        active: controls.extra !== null
        visible: active
        sourceComponent: controls.extra
        Layout.fillWidth: true
    }
    Pad {
        objectName: "touchpad"
        model: controls.view.touchpad
        Layout.fillWidth: true
    }
    Row {
        spacing: 14
        Layout.alignment: Qt.AlignHCenter
        CircleButton {
            objectName: "back"
            symbol: "chevron.backward"
            size: 58
            onClicked: controls.view.press("back")
            Accessible.name: "Späť"
        }
        CircleButton {
            objectName: "home"
            symbol: "house.fill"
            size: 58
            onClicked: controls.view.press("home")
            Accessible.name: "Domov"
        }
        CircleButton {
            objectName: "playPause"
            symbol: "playpause.fill"
            size: 58
            onClicked: controls.view.press("playPause")
            Accessible.name: "Prehrať / pauza"
        }
        CircleButton {
            objectName: "keyboard"
            symbol: "keyboard"
            size: 58
            Accessible.checkable: true
            Accessible.checked: controls.view.showKeyboard
            onClicked: controls.view.toggleKeyboard()
            Accessible.name: "Klávesnica"
        }
    }
    Loader {
        active: controls.view.showKeyboard
        visible: active
        Layout.fillWidth: true
        sourceComponent: TextRow {
            objectName: "textRow"
            view: controls.view
        }
    }
    VolumeBar {
        objectName: "volumeBar"
        view: controls.view
        Layout.fillWidth: true
    }
    MediaRow {
        objectName: "mediaRow"
        view: controls.view
        Layout.fillWidth: true
    }
    AppsGrid {
        objectName: "apps"
        view: controls.view
        Layout.fillWidth: true
    }
}

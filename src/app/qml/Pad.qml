import QtQuick
import Telvanto

// The touchpad: its edges are the arrows, its middle OK. The gesture goes to the C++ pad as it
// happens; the glyphs light up with the key the pad sends.
Item {
    id: pad
    required property Touchpad model
    readonly property string label: "Touchpad: ťukni na okraj pre šípku, do stredu pre OK, potiahni pre viac krokov, podrž pre opakovanie"

    implicitHeight: 300

    Binding {
        target: pad.model
        property: "size"
        value: Qt.size(pad.width, pad.height)
    }

    Rectangle {
        anchors.fill: parent
        radius: 32
        color: Theme.white(0.06)
        border.width: 1
        border.color: Theme.white(0.12)
    }

    component Edge: Glyph {
        id: edge
        required property string key
        required property real px
        required property real py
        readonly property bool lit: pad.model.flash === edge.key
        x: px - width / 2
        y: py - height / 2
        size: Theme.title3
        bold: true
        opacity: lit ? 1 : 0.35
        Behavior on opacity {
            NumberAnimation { duration: edge.lit ? 60 : 180; easing.type: edge.lit ? Easing.OutQuad : Easing.InQuad }
        }
    }
    Edge { key: "up"; symbol: "chevron.up"; px: pad.width / 2; py: 30 }
    Edge { key: "down"; symbol: "chevron.down"; px: pad.width / 2; py: pad.height - 30 }
    Edge { key: "left"; symbol: "chevron.left"; px: 30; py: pad.height / 2 }
    Edge { key: "right"; symbol: "chevron.right"; px: pad.width - 30; py: pad.height / 2 }

    Rectangle {
        id: disc
        readonly property bool lit: pad.model.flash === "center"
        anchors.centerIn: parent
        width: 84
        height: 84
        radius: 42
        color: Theme.white(lit ? 0.35 : 0.12)
        Behavior on color {
            ColorAnimation { duration: disc.lit ? 60 : 180 }
        }
        Text {
            anchors.centerIn: parent
            text: "OK"
            font.pixelSize: Theme.headline
            font.weight: Font.DemiBold
            color: Theme.white(0.85)
            Accessible.ignored: true
        }
    }

    MouseArea {
        anchors.fill: parent
        preventStealing: true
        onPressed: mouse => {
            pad.forceActiveFocus() // keys go to the TV again, not to a text field
            pad.model.pointerMoved(mouse.x, mouse.y)
        }
        onPositionChanged: mouse => pad.model.pointerMoved(mouse.x, mouse.y)
        onReleased: pad.model.released()
        onCanceled: pad.model.released()
    }

    activeFocusOnTab: false
    Accessible.role: Accessible.Button
    Accessible.name: label
    Accessible.focusable: true
    // A press by an assistive technology is a tap in the middle.
    Accessible.onPressAction: {
        pad.model.pointerMoved(width / 2, height / 2)
        pad.model.released()
    }
}

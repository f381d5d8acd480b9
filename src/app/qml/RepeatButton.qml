import QtQuick
import Telvanto

// A round symbol button that repeats its action while held.
Item {
    id: button
    required property string symbol
    required property RepeatAction action
    property string name

    implicitWidth: 44
    implicitHeight: 44
    opacity: action.pressing ? 0.6 : 1

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Theme.white(0.1)
    }
    Glyph {
        anchors.centerIn: parent
        symbol: button.symbol
        size: Theme.headline
    }
    MouseArea {
        anchors.fill: parent
        onPressed: mouse => button.action.press(mouse.x, mouse.y)
        onPositionChanged: mouse => button.action.move(mouse.x, mouse.y)
        onReleased: button.action.release()
        onCanceled: button.action.release()
    }

    Accessible.role: Accessible.Button
    Accessible.name: name
    Accessible.focusable: true
    Accessible.onPressAction: {
        action.press(width / 2, height / 2)
        action.release()
    }
}

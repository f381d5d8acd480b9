import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Telvanto

// The desktop on the TV: what the mirroring controller is doing, the mode, start and stop.
Rectangle {
    id: card
    objectName: "mirrorCard"

    implicitHeight: content.implicitHeight + 32
    radius: 24
    color: Theme.white(0.06)

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            Glyph {
                symbol: "macbook.and.tv"
                size: Theme.title2
            }
            ColumnLayout {
                spacing: 2
                Layout.fillWidth: true
                StaticText {
                    text: Mirroring.title
                    font.pixelSize: Theme.headline
                    font.weight: Font.DemiBold
                }
                StaticText {
                    objectName: "mirrorSubtitle"
                    text: Mirroring.subtitle
                    font.pixelSize: Theme.caption
                    color: Theme.secondary
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
            }
            // Created only while busy: no animation runs otherwise.
            Loader {
                active: Mirroring.busy
                visible: active
                sourceComponent: BusyIndicator {
                    implicitWidth: 20
                    implicitHeight: 20
                    padding: 0
                    running: true
                    palette.dark: "white" // the Basic style draws its dots in this colour
                    Accessible.name: "Pracujem"
                }
            }
        }

        // Segmented picker bound to the mode.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 28
            radius: 8
            color: Theme.white(0.1)
            Accessible.role: Accessible.Grouping
            Accessible.name: "Režim"
            Row {
                anchors.fill: parent
                anchors.margins: 2
                Repeater {
                    model: Mirroring.modes
                    delegate: RadioButton {
                        id: segment
                        required property string modelData
                        required property int index
                        width: parent.width / 2
                        height: parent.height
                        focusPolicy: Qt.NoFocus
                        padding: 0
                        text: modelData
                        font.pixelSize: Theme.footnote
                        checked: Mirroring.mode === index
                        indicator: null
                        background: Rectangle {
                            radius: 7
                            color: segment.checked ? Theme.white(0.25) : "transparent"
                        }
                        contentItem: Text {
                            text: segment.text
                            font: segment.font
                            color: "white"
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                        // The binding goes with a click; the controller's mode brings it back.
                        onClicked: {
                            Mirroring.mode = index
                            checked = Qt.binding(() => Mirroring.mode === index)
                        }
                        Accessible.name: modelData
                    }
                }
            }
        }

        Button {
            id: toggle
            objectName: "mirrorButton"
            Layout.fillWidth: true
            implicitHeight: 44
            enabled: !Mirroring.busy
            focusPolicy: Qt.NoFocus
            text: Mirroring.buttonText
            opacity: down ? 0.7 : 1
            background: Rectangle {
                radius: 14
                color: Mirroring.buttonColor
                opacity: toggle.enabled ? 1 : 0.5
            }
            contentItem: Item {
                implicitHeight: label.implicitHeight
                Row {
                    anchors.centerIn: parent
                    spacing: 6
                    Glyph {
                        symbol: Mirroring.buttonSymbol
                        size: Theme.headline
                        color: Mirroring.buttonTextColor
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Text {
                        id: label
                        text: toggle.text
                        font.pixelSize: Theme.headline
                        font.weight: Font.DemiBold
                        color: Mirroring.buttonTextColor
                        anchors.verticalCenter: parent.verticalCenter
                    }
                }
            }
            onClicked: Mirroring.toggle()
            Accessible.name: text
            Accessible.onPressAction: if (enabled) clicked()
        }

        StaticText {
            objectName: "mirrorMessage"
            visible: text !== ""
            text: Mirroring.message
            font.pixelSize: Theme.caption
            color: Theme.orange
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}

import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts

// The status sheet: what the flow is doing, and a way out when it failed.
ApplicationWindow {
    id: window

    required property QtObject sheet
    readonly property string status: sheet.flow.status

    width: 300
    height: 200
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    title: "Sendora"
    flags: Qt.Dialog
    visible: true

    ColumnLayout {
        id: content
        objectName: "content"
        anchors.centerIn: parent
        width: parent.width - 2 * 28
        spacing: 14

        BusyIndicator {
            objectName: "activity"
            visible: window.status === "sending"
            running: visible
            implicitWidth: 48
            implicitHeight: 48
            Layout.alignment: Qt.AlignHCenter
        }

        // checkmark.circle.fill
        Canvas {
            objectName: "doneSymbol"
            visible: window.status === "done"
            implicitWidth: 48
            implicitHeight: 48
            Layout.alignment: Qt.AlignHCenter
            onVisibleChanged: requestPaint()
            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                ctx.fillStyle = "#34c759"
                ctx.beginPath()
                ctx.arc(width / 2, height / 2, width / 2, 0, 2 * Math.PI)
                ctx.fill()
                ctx.strokeStyle = "white"
                ctx.lineWidth = width / 10
                ctx.lineCap = "round"
                ctx.lineJoin = "round"
                ctx.beginPath()
                ctx.moveTo(width * 0.28, height * 0.52)
                ctx.lineTo(width * 0.44, height * 0.67)
                ctx.lineTo(width * 0.72, height * 0.36)
                ctx.stroke()
            }
        }

        // exclamationmark.triangle.fill
        Canvas {
            objectName: "failedSymbol"
            visible: window.status === "failed"
            implicitWidth: 40
            implicitHeight: 40
            Layout.alignment: Qt.AlignHCenter
            onVisibleChanged: requestPaint()
            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                ctx.fillStyle = "#ff9500"
                ctx.strokeStyle = "#ff9500"
                ctx.lineWidth = 4
                ctx.lineJoin = "round"
                ctx.beginPath()
                ctx.moveTo(width / 2, 3)
                ctx.lineTo(width - 2, height - 4)
                ctx.lineTo(2, height - 4)
                ctx.closePath()
                ctx.fill()
                ctx.stroke()
                ctx.fillStyle = "white"
                ctx.fillRect(width / 2 - 2, height * 0.32, 4, height * 0.32)
                ctx.beginPath()
                ctx.arc(width / 2, height * 0.77, 2.6, 0, 2 * Math.PI)
                ctx.fill()
            }
        }

        Label {
            objectName: "headline"
            visible: window.status !== "failed"
            text: window.status === "done" ? window.sheet.texts.done : window.sheet.texts.sending
            font.bold: true
            font.pixelSize: 15
            Layout.alignment: Qt.AlignHCenter
        }

        Label {
            objectName: "message"
            visible: window.status === "failed"
            text: window.sheet.flow.message
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            maximumLineCount: 3
            elide: Text.ElideRight
            Layout.fillWidth: true
        }

        Button {
            objectName: "close"
            visible: window.status === "failed"
            text: window.sheet.texts.close
            // Prominent: filled with the accent colour.
            highlighted: true
            palette.button: window.palette.highlight
            palette.buttonText: window.palette.highlightedText
            Layout.alignment: Qt.AlignHCenter
            onClicked: window.sheet.close()
            Accessible.onPressAction: clicked()
        }
    }
}

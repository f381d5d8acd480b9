import QtQuick

// A text that a screen reader reads as it is shown. Plain text: names come from the network.
Text {
    color: "white"
    textFormat: Text.PlainText
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}

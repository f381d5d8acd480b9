import QtQuick

// A text that a screen reader reads as it is shown.
Text {
    color: "white"
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}

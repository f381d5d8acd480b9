pragma Singleton
import QtQuick

// Text sizes (one point = one pixel) and the dark scheme's colours.
QtObject {
    readonly property int title2: 22
    readonly property int title3: 20
    readonly property int headline: 17
    readonly property int body: 17
    readonly property int subheadline: 15
    readonly property int footnote: 13
    readonly property int caption: 12

    readonly property color secondary: Qt.rgba(235 / 255, 235 / 255, 245 / 255, 0.6)
    readonly property color red: Qt.rgba(1, 69 / 255, 58 / 255, 1)
    readonly property color orange: Qt.rgba(1, 159 / 255, 10 / 255, 1)
    readonly property string monospace: "DejaVu Sans Mono"

    function white(opacity) { return Qt.rgba(1, 1, 1, opacity) }
}

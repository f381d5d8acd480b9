import QtQuick
import Telvanto

// A symbol by its name, drawn from the icon font. The glyphs' box is a little larger than
// a text of the same size, so they are scaled to look as large as the text beside them.
Text {
    property string symbol
    property real size: Theme.body
    property bool bold: false

    // Without the icon font nothing is drawn rather than boxes for missing glyphs.
    text: Symbols.font ? Symbols.glyph(symbol) : ""
    font.family: Symbols.font
    font.pixelSize: Math.round(size * 1.2)
    font.weight: bold ? Font.DemiBold : Font.Normal
    color: "white"
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    Accessible.ignored: true
}

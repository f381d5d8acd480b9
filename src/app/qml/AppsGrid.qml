import QtQuick
import Telvanto

// The launch tiles: as many columns of at least 92 points as fit, 12 points apart.
Column {
    id: grid
    required property RemoteView view
    readonly property int columns: Math.max(1, Math.floor((width + 12) / (92 + 12)))
    readonly property real tileWidth: (width - (columns - 1) * 12) / columns

    spacing: 10

    StaticText {
        text: "Aplikácie"
        font.pixelSize: Theme.subheadline
        font.weight: Font.DemiBold
        color: Theme.secondary
    }
    Flow {
        width: parent.width
        spacing: 12
        Repeater {
            model: grid.view.apps
            delegate: AppTile {
                id: tile
                required property var modelData
                objectName: "app:" + tile.modelData.package
                width: grid.tileWidth
                app: tile.modelData
                current: grid.view.currentApp === tile.modelData.package
                onClicked: grid.view.launch(tile.modelData.package)
            }
        }
    }
}

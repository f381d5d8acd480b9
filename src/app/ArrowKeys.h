#pragma once

#include "protocol/TVKey.h"

#include <QObject>

#include <optional>

namespace telvanto::tv {
class TVController;
}

namespace telvanto::app {

// Lets the keyboard drive the TV: arrows, Return and keypad Enter, Escape and Backspace, Space
// and Home become short presses and never reach the window. Typing into a text field and keys
// held with Ctrl, Alt or Meta pass through. Installed on the application:
// app.installEventFilter(&arrowKeys).
class ArrowKeys final : public QObject {
    Q_OBJECT

public:
    explicit ArrowKeys(tv::TVController& tv, QObject* parent = nullptr);

    // The decision for one key press: the key to press on the TV, or none to let it through.
    static std::optional<protocol::TVKey> keyFor(int qtKey, Qt::KeyboardModifiers modifiers, bool editingText);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    tv::TVController& tv_;
};

} // namespace telvanto::app

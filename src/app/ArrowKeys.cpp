#include "app/ArrowKeys.h"

#include "protocol/RemoteMsg.h"
#include "tv/TVController.h"

#include <QGuiApplication>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QQuickItem>
#include <QWindow>

namespace telvanto::app {

namespace {

// Typing goes to the focused text field, and an open menu or dialog keeps its own keys.
bool focusKeepsKeys()
{
    QObject* focus = QGuiApplication::focusObject();
    if (!focus) return false;
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(focus, &query);
    if (query.value(Qt::ImEnabled).toBool()) return true;
    for (auto* item = qobject_cast<QQuickItem*>(focus); item; item = item->parentItem())
        if (item->inherits("QQuickPopupItem")) return true;
    return false;
}

} // namespace

ArrowKeys::ArrowKeys(tv::TVController& tv, QObject* parent) : QObject(parent), tv_(tv) {}

std::optional<protocol::TVKey> ArrowKeys::keyFor(int qtKey, Qt::KeyboardModifiers modifiers, bool editingText)
{
    using protocol::TVKey;
    if (editingText) return std::nullopt;
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
    switch (qtKey) {
    case Qt::Key_Up: return TVKey::up;
    case Qt::Key_Down: return TVKey::down;
    case Qt::Key_Left: return TVKey::left;
    case Qt::Key_Right: return TVKey::right;
    case Qt::Key_Return: return TVKey::center;
    case Qt::Key_Enter: return TVKey::center; // the keypad's Enter
    case Qt::Key_Escape: return TVKey::back;
    case Qt::Key_Backspace: return TVKey::back;
    case Qt::Key_Space: return TVKey::playPause;
    case Qt::Key_Home: return TVKey::home;
    default: return std::nullopt;
    }
}

bool ArrowKeys::eventFilter(QObject* watched, QEvent* event)
{
    // A key press reaches the window first and then its focused item: deciding at the window
    // sends each press once. Popup windows (the tray's menu) keep their keys.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType()) return false;
    const Qt::WindowType type = static_cast<QWindow*>(watched)->type();
    if (type == Qt::Popup || type == Qt::ToolTip) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto tvKey = keyFor(key->key(), key->modifiers(), focusKeepsKeys());
    if (!tvKey) return false;
    tv_.send(protocol::RemoteMsg::key(*tvKey));
    return true;
}

} // namespace telvanto::app

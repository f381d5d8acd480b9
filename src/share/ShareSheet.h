#pragma once

#include "share/ShareFlow.h"

#include <QObject>
#include <QQmlApplicationEngine>
#include <QVariantMap>

class QQuickWindow;

namespace telvanto::share {

// The 300 x 200 status sheet of one flow: sending, done, or the failure with "Zavrieť".
class ShareSheet final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* flow READ flow CONSTANT)
    Q_PROPERTY(QVariantMap texts READ texts CONSTANT)

public:
    static constexpr int width = 300;
    static constexpr int height = 200;

    explicit ShareSheet(ShareFlow& flow, QObject* parent = nullptr);
    ~ShareSheet() override;

    // Builds the window and shows it; none when the QML could not be loaded.
    QQuickWindow* show();
    QQuickWindow* window() const { return window_; }

    QObject* flow() const { return &flow_; }
    QVariantMap texts() const;

    // The close button.
    Q_INVOKABLE void close();

Q_SIGNALS:
    void closeRequested();

private:
    ShareFlow& flow_;
    QQmlApplicationEngine engine_;
    QQuickWindow* window_ = nullptr;
};

} // namespace telvanto::share

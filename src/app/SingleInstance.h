#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>

namespace telvanto::app {

// One Telvanto per user session: the first one holds a name on the session bus; a later one
// asks it to show its window and leaves. Two would fight over the one TV connection.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.korbith.telvanto.App")

public:
    static constexpr const char* service = "com.korbith.telvanto";
    static constexpr const char* path = "/com/korbith/telvanto";
    static constexpr const char* interface = "com.korbith.telvanto.App";
    // A first instance that does not answer within this is taken for hung.
    static constexpr std::chrono::milliseconds answerTimeout{3000};

    enum class Role {
        first,  // this one runs; showRequested reports the later ones
        second, // the running one was asked to show its window; this one should leave
        alone,  // no session bus, or the name holder does not answer: run without the guard
    };

    // The name for a profile: the default profile has the plain name; another profile (a demo, a
    // test, TELVANTO_CONFIG_DIR) its own, so it neither finds nor blocks the user's own Telvanto.
    static QString serviceFor(const QString& profileDir);

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(), QString serviceName = QLatin1String(service),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    Role claim();

public Q_SLOTS:
    // Called over the bus by a later instance.
    Q_SCRIPTABLE void ShowWindow();

Q_SIGNALS:
    void showRequested();

private:
    QDBusConnection bus_;
    const QString serviceName_;
    bool registered_ = false;
    bool owner_ = false;
};

} // namespace telvanto::app

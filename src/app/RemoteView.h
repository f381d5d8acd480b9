#pragma once

#include "app/PairingView.h"
#include "app/RepeatAction.h"
#include "app/Touchpad.h"
#include "core/Scheduler.h"
#include "protocol/TVKey.h"

#include <QColor>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace telvanto::tv {
class TVController;
}

namespace telvanto::app {

// The remote window's state and actions. QML lays out and binds; everything the window knows
// and does is here, on the one TVController of the process.
class RemoteView final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application")

    // Header
    Q_PROPERTY(QString tvName READ tvName NOTIFY tvNameChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusChanged)
    Q_PROPERTY(QColor statusColor READ statusColor NOTIFY statusChanged)
    // The TV menu's entries: {title, symbol, name, host}, one per TV found.
    Q_PROPERTY(QVariantList tvMenu READ tvMenu NOTIFY tvMenuChanged)
    Q_PROPERTY(bool askHost READ askHost WRITE setAskHost NOTIFY askHostChanged)
    Q_PROPERTY(QString manualHost READ manualHost WRITE setManualHost NOTIFY manualHostChanged)

    // Body: the pairing card, or the controls with the failure card when failed.
    Q_PROPERTY(bool showsPairing READ showsPairing NOTIFY bodyChanged)
    // The pairing card's block: "progress", "code" or "start".
    Q_PROPERTY(QString pairingBlock READ pairingBlock NOTIFY bodyChanged)
    Q_PROPERTY(bool isPaired READ isPaired NOTIFY bodyChanged)
    // The failure card, shown above the controls while failed and paired.
    Q_PROPERTY(bool showsFailure READ showsFailure NOTIFY bodyChanged)
    Q_PROPERTY(QString failure READ failure NOTIFY bodyChanged)

    // Text-entry row
    Q_PROPERTY(bool showKeyboard READ showKeyboard WRITE setShowKeyboard NOTIFY showKeyboardChanged)
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool clearing READ clearing NOTIFY clearingChanged)

    // Volume bar and apps
    Q_PROPERTY(double volumeFraction READ volumeFraction NOTIFY volumeChanged)
    Q_PROPERTY(QString speakerSymbol READ speakerSymbol NOTIFY volumeChanged)
    Q_PROPERTY(QString currentApp READ currentApp NOTIFY currentAppChanged)
    // The catalogue: {name, package, color, symbol}, in grid order.
    Q_PROPERTY(QVariantList apps READ apps CONSTANT)
    // The media row: {key, symbol, name}, in display order.
    Q_PROPERTY(QVariantList mediaKeys READ mediaKeys CONSTANT)

    Q_PROPERTY(telvanto::app::Touchpad* touchpad READ touchpad CONSTANT)
    Q_PROPERTY(telvanto::app::PairingView* pairing READ pairing CONSTANT)
    Q_PROPERTY(telvanto::app::RepeatAction* volumeDown READ volumeDown CONSTANT)
    Q_PROPERTY(telvanto::app::RepeatAction* volumeUp READ volumeUp CONSTANT)

public:
    RemoteView(tv::TVController& tv, core::Scheduler& scheduler, QObject* parent = nullptr);
    ~RemoteView() override;

    // The address typed into the dialog, as it is selected: without leading and trailing
    // spaces and tabs, otherwise unchecked.
    static QString manualHostEntry(const QString& typed);

    QString tvName() const;
    QString statusText() const;
    QColor statusColor() const;
    QVariantList tvMenu() const;
    bool askHost() const { return askHost_; }
    void setAskHost(bool ask);
    const QString& manualHost() const { return manualHost_; }
    void setManualHost(const QString& host);

    bool showsPairing() const;
    QString pairingBlock() const;
    bool isPaired() const;
    bool showsFailure() const;
    QString failure() const;

    bool showKeyboard() const { return showKeyboard_; }
    void setShowKeyboard(bool show);
    const QString& text() const { return text_; }
    // Every edit of the text field: mirrored on the TV unless the view itself emptied it.
    void setText(const QString& text);
    bool clearing() const { return clearing_; }

    double volumeFraction() const;
    QString speakerSymbol() const;
    QString currentApp() const;
    QVariantList apps() const;
    QVariantList mediaKeys() const;

    Touchpad* touchpad() { return &touchpad_; }
    PairingView* pairing() { return &pairing_; }
    RepeatAction* volumeDown() { return &volumeDown_; }
    RepeatAction* volumeUp() { return &volumeUp_; }

    // A short press of a key by its protocol name ("home", "playPause", "delete").
    Q_INVOKABLE void press(const QString& keyName);
    void press(protocol::TVKey key);
    Q_INVOKABLE void launch(const QString& package);
    Q_INVOKABLE void toggleKeyboard();
    // Return in the text field.
    Q_INVOKABLE void submitText();
    // The delete button of the text row.
    Q_INVOKABLE void deleteBackward();

    // TV menu
    Q_INVOKABLE void selectTV(const QString& name, const QString& host);
    Q_INVOKABLE void askForHost();
    Q_INVOKABLE void connectManualHost();
    Q_INVOKABLE void reconnect();
    Q_INVOKABLE void pairAgain();
    // Pairing card
    Q_INVOKABLE void startPairing();
    Q_INVOKABLE void cancelPairing();

Q_SIGNALS:
    void tvNameChanged();
    void statusChanged();
    void tvMenuChanged();
    void askHostChanged();
    void manualHostChanged();
    void bodyChanged();
    void showKeyboardChanged();
    void textChanged();
    void clearingChanged();
    void volumeChanged();
    void currentAppChanged();

private:
    void statusUpdated();
    void setClearing(bool clearing);

    tv::TVController& tv_;
    Touchpad touchpad_;
    PairingView pairing_;
    RepeatAction volumeDown_;
    RepeatAction volumeUp_;
    bool showKeyboard_ = false;
    QString text_;
    bool clearing_ = false;
    bool askHost_ = false;
    QString manualHost_;
    bool showedPairing_ = false;
};

} // namespace telvanto::app

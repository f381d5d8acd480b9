#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace telvanto::app {

// The code field of the pairing card: keeps only ASCII hexadecimal digits, upper-cased, at most
// six, and submits each new six-character code once.
class PairingView final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by RemoteView")
    Q_PROPERTY(QString code READ code WRITE setCode NOTIFY codeChanged)
    Q_PROPERTY(bool wrong READ wrong NOTIFY wrongChanged)

public:
    static constexpr int codeLength = 6;
    // True when the code passed its check and went to the TV.
    using Submit = std::function<bool(const QString&)>;

    explicit PairingView(Submit submit, QObject* parent = nullptr);

    const QString& code() const { return code_; }
    bool wrong() const { return wrong_; }

    // Every edit of the field goes through here: the change rule.
    void setCode(const QString& text);
    // Starts afresh, as when the card is shown again.
    void reset();

    static QString filtered(const QString& text);

Q_SIGNALS:
    void codeChanged();
    void wrongChanged();

private:
    void setWrong(bool wrong);

    Submit submit_;
    QString code_;
    bool wrong_ = false;
    QString submitted_; // the six-character code last submitted, so a re-run does not repeat it
};

} // namespace telvanto::app

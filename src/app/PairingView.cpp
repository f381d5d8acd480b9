#include "app/PairingView.h"

namespace telvanto::app {

PairingView::PairingView(Submit submit, QObject* parent) : QObject(parent), submit_(std::move(submit)) {}

QString PairingView::filtered(const QString& text)
{
    // ASCII only: other scripts' digits and full-width letters are not part of a code.
    QString out;
    for (const QChar c : text) {
        if (out.size() == codeLength) break;
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F')) out += c;
        else if (u >= u'a' && u <= u'f') out += QChar(u - u'a' + u'A');
    }
    return out;
}

void PairingView::setCode(const QString& text)
{
    const QString code = filtered(text);
    if (code == code_) {
        // The field shows what was typed; hand it back the kept code. The same code was
        // already judged, so neither the hint nor a submission changes.
        if (text != code_) Q_EMIT codeChanged();
        return;
    }
    code_ = code;
    Q_EMIT codeChanged();
    setWrong(false);
    if (code_.size() < codeLength) {
        submitted_.clear();
        return;
    }
    if (code_ == submitted_) return;
    submitted_ = code_;
    if (!submit_(code_)) setWrong(true);
}

void PairingView::reset()
{
    submitted_.clear();
    setWrong(false);
    if (code_.isEmpty()) return;
    code_.clear();
    Q_EMIT codeChanged();
}

void PairingView::setWrong(bool wrong)
{
    if (wrong == wrong_) return;
    wrong_ = wrong;
    Q_EMIT wrongChanged();
}

} // namespace telvanto::app

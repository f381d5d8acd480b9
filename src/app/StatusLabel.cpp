#include "app/StatusLabel.h"

namespace telvanto::app {

namespace {
// The system's colours in the dark appearance.
const QColor yellow{255, 214, 10};
const QColor green{48, 209, 88};
const QColor orange{255, 159, 10};
const QColor red{255, 69, 58};
} // namespace

StatusLook statusLook(const tv::TVController::Status& status)
{
    using Case = tv::TVController::Status::Case;
    switch (status.kind) {
    case Case::idle: return {QStringLiteral("Neaktívne"), yellow};
    case Case::searching: return {QStringLiteral("Hľadám TV v sieti…"), yellow};
    case Case::connecting: return {QStringLiteral("Pripájam…"), yellow};
    case Case::connected: return {QStringLiteral("Pripojené"), green};
    case Case::needsPairing: return {QStringLiteral("Treba spárovať"), orange};
    case Case::pairing: return {QStringLiteral("Spúšťam párovanie…"), yellow};
    case Case::waitingForCode: return {QStringLiteral("Zadaj kód z TV"), orange};
    case Case::failed: return {status.text, red};
    }
    return {};
}

} // namespace telvanto::app

#include "share/ShareSheet.h"

#include "share/Texts.h"

#include <QQuickWindow>

namespace telvanto::share {

namespace {

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

ShareSheet::ShareSheet(ShareFlow& flow, QObject* parent) : QObject(parent), flow_(flow) {}

ShareSheet::~ShareSheet() = default;

QVariantMap ShareSheet::texts() const
{
    return {
        {QStringLiteral("sending"), qtext(texts::sending)},
        {QStringLiteral("done"), qtext(texts::done)},
        {QStringLiteral("close"), qtext(texts::close)},
    };
}

QQuickWindow* ShareSheet::show()
{
    if (window_) return window_;
    engine_.setInitialProperties({{QStringLiteral("sheet"), QVariant::fromValue<QObject*>(this)}});
    engine_.load(QUrl(QStringLiteral("qrc:/Sendora/Main.qml")));
    const auto roots = engine_.rootObjects();
    window_ = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
    return window_;
}

void ShareSheet::close() { Q_EMIT closeRequested(); }

} // namespace telvanto::share

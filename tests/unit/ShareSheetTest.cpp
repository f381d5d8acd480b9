#include "share/ShareSheet.h"

#include "EventLoop.h"
#include "ShareRig.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::testing;

// Each state rendered offscreen: its texts read back from the item tree, its symbol's colours
// from the picture, and for a failure the layout: wrapped, centred, button below, all inside;
// the button asks to close.
TEST(ShareSheet, ShowsEachStateOfTheFlow)
{
    const struct { const char* script; QStringList texts; const char* symbol; std::vector<std::pair<QPointF, QColor>> colours; } cases[] = {
        {"share", {"Posielam na TV…"}, "activity", {}}, // colours at fractions of the symbol's box
        {"share start 800", {"Beží na TV"}, "doneSymbol", {{{0.5, 0.85}, QColor("#34c759")}, {{0.44, 0.66}, Qt::white}}},
        {"share close:conn", {"TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?", "Zavrieť"}, "failedSymbol", {{{0.25, 0.75}, QColor("#ff9500")}, {{0.5, 0.5}, Qt::white}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        ShareRig rig;
        share::ShareSheet sheet(rig.flow);
        QQuickWindow* window = sheet.show();
        ASSERT_TRUE(window && window->size() == QSize(300, 200));
        rig.play(c.script);
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; }));
        const QImage image = window->grabWindow();
        QStringList texts; // shown, in the order of the item tree
        for (const QQuickItem* item : window->findChildren<QQuickItem*>())
            if (const QString text = item->property("text").toString(); item->isVisible() && !text.isEmpty() && !texts.contains(text) && text != "Sendora") texts << text;
        EXPECT_EQ(texts, c.texts);
        const auto place = [window](const char* name) { const auto* item = window->findChild<QQuickItem*>(QLatin1String(name));
                                                         return item && item->isVisible() ? item->mapRectToScene(QRectF(0, 0, item->width(), item->height())) : QRectF(); };
        const QRectF symbol = place(c.symbol), text = place("message"), button = place("close");
        ASSERT_FALSE(symbol.isEmpty());
        for (const auto& [at, colour] : c.colours) {
            const QColor seen = image.pixelColor(((symbol.topLeft() + QPointF(at.x() * symbol.width(), at.y() * symbol.height())) * window->devicePixelRatio()).toPoint());
            EXPECT_LT(std::max({std::abs(seen.red() - colour.red()), std::abs(seen.green() - colour.green()), std::abs(seen.blue() - colour.blue())}), 24) << seen.name().toStdString();
        }
        if (c.texts.size() < 2) continue;
        const auto* message = window->findChild<QQuickItem*>(QStringLiteral("message"));
        EXPECT_TRUE(message->property("lineCount").toInt() >= (c.texts[0].size() > 45 ? 2 : 1) && !message->property("truncated").toBool());
        EXPECT_TRUE(text.width() <= 300 - 2 * 28 && std::abs(text.center().x() - 150) <= 1 && std::abs(button.center().x() - 150) <= 1) << text.center().x();
        EXPECT_TRUE(symbol.top() >= 0 && symbol.bottom() <= text.top() && text.bottom() <= button.top() && button.bottom() <= 200);
        QSignalSpy closes(&sheet, &share::ShareSheet::closeRequested);
        QTest::mouseClick(window, Qt::LeftButton, {}, button.center().toPoint());
        EXPECT_EQ(closes.count(), 1);
    }
}

#include "share/ShareSheet.h"

#include "EventLoop.h"
#include "ShareRig.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::share;
using namespace telvanto::testing;

namespace {

void collectTexts(QQuickItem* item, QStringList& texts)
{
    if (!item->isVisible()) return;
    const QString text = item->property("text").toString();
    if (!text.isEmpty() && !texts.contains(text)) texts << text;
    for (QQuickItem* child : item->childItems()) collectTexts(child, texts);
}

QRectF placeOf(QQuickWindow* window, const char* name)
{
    auto* item = window->findChild<QQuickItem*>(QLatin1String(name));
    return item && item->isVisible() ? item->mapRectToScene(QRectF(0, 0, item->width(), item->height())) : QRectF();
}

} // namespace

// Each state rendered offscreen (saved as build/tests/screenshots/sendora-N.png): its texts
// read back from the item tree, its symbol's colours from the picture, and for failures the
// layout: wrapped, centred, button below, all inside; the button asks to close.
TEST(ShareSheet, ShowsEachStateOfTheFlow)
{
    const struct {
        const char* script;
        QStringList texts;
        const char* symbol;
        std::vector<std::pair<QPointF, QColor>> colours; // at fractions of the symbol's box
    } cases[] = {
        {"share", {"Posielam na TV…"}, "activity", {}},
        {"share start 800", {"Beží na TV"}, "doneSymbol", {{{0.5, 0.85}, QColor("#34c759")}, {{0.44, 0.66}, Qt::white}}},
        {"share close:conn", {"TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?", "Zavrieť"}, "failedSymbol",
         {{{0.25, 0.75}, QColor("#ff9500")}, {{0.5, 0.5}, Qt::white}}},
        {"nothing", {"V zdieľanom obsahu nie je žiadny odkaz.", "Zavrieť"}, "failedSymbol", {{{0.25, 0.75}, QColor("#ff9500")}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        ShareRig rig;
        ShareSheet sheet(rig.flow);
        QQuickWindow* window = sheet.show();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->size(), QSize(300, 200));
        rig.play(c.script);
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; }));
        const QImage image = window->grabWindow();
        QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
        image.save(QStringLiteral(TELVANTO_SCREENSHOT_DIR "/sendora-%1.png").arg(&c - cases));
        QStringList texts;
        collectTexts(window->contentItem(), texts);
        texts.removeAll(QStringLiteral("Sendora"));
        EXPECT_EQ(texts, c.texts);

        const QRectF symbol = placeOf(window, c.symbol);
        ASSERT_FALSE(symbol.isEmpty());
        for (const auto& [at, colour] : c.colours) {
            const QColor seen = image.pixelColor(((symbol.topLeft() + QPointF(at.x() * symbol.width(), at.y() * symbol.height())) *
                                                  window->devicePixelRatio()).toPoint());
            EXPECT_LT(std::max({std::abs(seen.red() - colour.red()), std::abs(seen.green() - colour.green()),
                                std::abs(seen.blue() - colour.blue())}), 24) << seen.name().toStdString();
        }
        if (c.texts.size() < 2) continue;
        auto* message = window->findChild<QQuickItem*>(QStringLiteral("message"));
        EXPECT_GE(message->property("lineCount").toInt(), c.texts[0].size() > 45 ? 2 : 1);
        EXPECT_FALSE(message->property("truncated").toBool());
        const QRectF text = placeOf(window, "message");
        const QRectF button = placeOf(window, "close");
        EXPECT_LE(text.width(), 300 - 2 * 28);
        EXPECT_NEAR(text.center().x(), 150, 1);
        EXPECT_NEAR(button.center().x(), 150, 1);
        EXPECT_TRUE(symbol.top() >= 0 && symbol.bottom() <= text.top() && text.bottom() <= button.top() && button.bottom() <= 200);
        QSignalSpy closes(&sheet, &ShareSheet::closeRequested);
        QTest::mouseClick(window, Qt::LeftButton, {}, button.center().toPoint());
        EXPECT_EQ(closes.count(), 1);
    }
}

#include "share/ShareSheet.h"

#include "EventLoop.h"
#include "FakeChannel.h"
#include "PairedStore.h"
#include "RecordingLog.h"
#include "TvMsg.h"
#include "VirtualScheduler.h"

#include <QDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::share;
using namespace telvanto::testing;
using namespace std::chrono_literals;

namespace {

struct Rig {
    PairedStore paired;
    VirtualScheduler scheduler;
    FakeChannelFactory channels{scheduler};
    RecordingLog log;
    ShareFlow flow{{paired.store, channels, scheduler, log, 6466}};
    ShareSheet sheet{flow};
};

// The next frame, saved as build/tests/screenshots/sendora-NAME.png.
QImage grab(QQuickWindow* window, const std::string& name)
{
    QSignalSpy frames(window, &QQuickWindow::frameSwapped);
    window->requestUpdate();
    EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; })) << name;
    QImage image = window->grabWindow();
    QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
    EXPECT_TRUE(image.save(QString::fromStdString(TELVANTO_SCREENSHOT_DIR "/sendora-" + name + ".png"))) << name;
    return image;
}

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
    if (!item || !item->isVisible()) return {};
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 && std::abs(a.blue() - b.blue()) < 24;
}

} // namespace

// Each state rendered offscreen: its texts read back from the item tree, its symbol's colours
// from the picture, and for failures the layout: wrapped, centred, button below, all inside.
TEST(ShareSheet, ShowsEachStateOfTheFlow)
{
    const struct {
        std::string name;
        std::function<void(Rig&)> run;
        QStringList texts;
        const char* symbol;
        std::vector<std::pair<QPointF, QColor>> colours; // at fractions of the symbol's box
    } cases[] = {
        {"sending", [](Rig& rig) { rig.flow.start({{{Attachment::url("https://a.example")}}}); },
         {"Posielam na TV…"}, "activity", {}},
        {"done",
         [](Rig& rig) {
             rig.flow.start({{{Attachment::url("https://a.example")}}});
             rig.channels.last().receiveFrame(tvsim::TvMsg::start(true));
             rig.scheduler.advance(800ms);
         },
         {"Beží na TV"}, "doneSymbol", {{{0.5, 0.85}, QColor("#34c759")}, {{0.44, 0.66}, Qt::white}}},
        {"failed-unreachable",
         [](Rig& rig) {
             rig.flow.start({{{Attachment::url("https://a.example")}}});
             rig.channels.last().close(transport::Channel::Error{transport::Channel::Error::Kind::connection, "no"});
         },
         {"TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?", "Zavrieť"}, "failedSymbol",
         {{{0.25, 0.75}, QColor("#ff9500")}, {{0.5, 0.5}, Qt::white}}},
        {"failed-nolink", [](Rig& rig) { rig.flow.start({}); }, {"V zdieľanom obsahu nie je žiadny odkaz.", "Zavrieť"},
         "failedSymbol", {{{0.25, 0.75}, QColor("#ff9500")}}},
    };
    for (const auto& c : cases) {
        Rig rig;
        QQuickWindow* window = rig.sheet.show();
        ASSERT_TRUE(window) << c.name;
        EXPECT_EQ(window->size(), QSize(300, 200)) << c.name;
        c.run(rig);
        const QImage image = grab(window, c.name);
        QStringList texts;
        collectTexts(window->contentItem(), texts);
        texts.removeAll(QStringLiteral("Sendora"));
        EXPECT_EQ(texts, c.texts) << c.name;

        const QRectF symbol = placeOf(window, c.symbol);
        ASSERT_FALSE(symbol.isEmpty()) << c.name;
        for (const auto& [at, colour] : c.colours) {
            const QPointF point = symbol.topLeft() + QPointF(at.x() * symbol.width(), at.y() * symbol.height());
            EXPECT_TRUE(near(image.pixelColor((point * window->devicePixelRatio()).toPoint()), colour)) << c.name;
        }
        if (!c.name.starts_with("failed")) continue;

        auto* message = window->findChild<QQuickItem*>(QStringLiteral("message"));
        EXPECT_GE(message->property("lineCount").toInt(), c.texts[0].size() > 45 ? 2 : 1) << c.name;
        EXPECT_FALSE(message->property("truncated").toBool()) << c.name;
        const QRectF text = placeOf(window, "message");
        const QRectF button = placeOf(window, "close");
        EXPECT_LE(text.width(), 300 - 2 * 28) << c.name;
        EXPECT_NEAR(text.center().x(), 150, 1) << c.name;
        EXPECT_NEAR(button.center().x(), 150, 1) << c.name;
        EXPECT_TRUE(symbol.top() >= 0 && symbol.bottom() <= text.top() && text.bottom() <= button.top() &&
                    button.bottom() <= 200)
            << c.name;
        QSignalSpy closes(&rig.sheet, &ShareSheet::closeRequested);
        QTest::mouseClick(window, Qt::LeftButton, {}, button.center().toPoint());
        EXPECT_EQ(closes.count(), 1) << c.name;
    }
}

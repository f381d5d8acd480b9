#include "share/ShareSheet.h"

#include "EventLoop.h"
// FakeChannel's constructor parameters shadow its members.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "FakeChannel.h"
#pragma GCC diagnostic pop
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
namespace TvMsg = tvsim::TvMsg;

namespace {

struct Rig {
    explicit Rig(PairedStore::Items items = {}) : paired(items), channels(scheduler) {}

    // Shows the sheet and waits for its first frame.
    QQuickWindow* show()
    {
        QQuickWindow* window = sheet.show();
        if (!window) return nullptr;
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        if (!waitUntil([&] { return frames.count() > 0; })) return nullptr;
        return window;
    }
    // The next frame, after a change of state.
    QImage grab(QQuickWindow* window, const char* name)
    {
        QSignalSpy frames(window, &QQuickWindow::frameSwapped);
        window->requestUpdate();
        EXPECT_TRUE(waitUntil([&] { return frames.count() > 0; })) << name;
        QImage image = window->grabWindow();
        QDir().mkpath(TELVANTO_SCREENSHOT_DIR);
        EXPECT_TRUE(image.save(QStringLiteral(TELVANTO_SCREENSHOT_DIR "/sendora-%1.png").arg(QLatin1String(name))))
            << name;
        return image;
    }

    PairedStore paired;
    VirtualScheduler scheduler;
    FakeChannelFactory channels;
    RecordingLog log;
    ShareFlow flow{{paired.store, channels, scheduler, log, 6466}};
    ShareSheet sheet{flow};
};

void collectTexts(QQuickItem* item, QStringList& texts)
{
    if (!item->isVisible()) return;
    const QVariant text = item->property("text");
    if (text.typeId() == QMetaType::QString && !text.toString().isEmpty() && !texts.contains(text.toString()))
        texts << text.toString();
    for (QQuickItem* child : item->childItems()) collectTexts(child, texts);
}

QStringList visibleTexts(QQuickWindow* window)
{
    QStringList texts;
    collectTexts(window->contentItem(), texts);
    return texts;
}

// Fails the test rather than crash it when the sheet lost an item.
QQuickItem* named(QQuickWindow* window, const char* name)
{
    auto* item = window->findChild<QQuickItem*>(QLatin1String(name));
    if (!item) throw std::runtime_error(std::string("no item ") + name);
    return item;
}

QRectF inWindow(QQuickItem* item) { return item->mapRectToScene(QRectF(0, 0, item->width(), item->height())); }

bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) < 24 && std::abs(a.green() - b.green()) < 24 && std::abs(a.blue() - b.blue()) < 24;
}

const QString sending = QStringLiteral("Posielam na TV…");
const QString done = QStringLiteral("Beží na TV");
const QString closeText = QStringLiteral("Zavrieť");
const QString unreachable = QStringLiteral("TV sa nedá zastihnúť. Je zapnutá a v rovnakej Wi-Fi?");
const QString noLink = QStringLiteral("V zdieľanom obsahu nie je žiadny odkaz.");

} // namespace

TEST(ShareSheet, SendingThenDone)
{
    Rig rig;
    QQuickWindow* window = rig.show();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), QSize(300, 200));
    rig.flow.start({{{Attachment::url("https://www.example.com/v")}}});

    const QImage sendingImage = rig.grab(window, "sending");
    EXPECT_EQ(sendingImage.size(), QSize(300, 200) * window->devicePixelRatio());
    EXPECT_EQ(visibleTexts(window), QStringList{sending});
    EXPECT_TRUE(named(window, "activity")->isVisible());

    rig.channels.last().receiveFrame(TvMsg::start(true));
    rig.scheduler.advance(800ms);
    const QImage doneImage = rig.grab(window, "done");
    EXPECT_EQ(visibleTexts(window), QStringList{done});
    EXPECT_FALSE(named(window, "activity")->isVisible());
    QQuickItem* symbol = named(window, "doneSymbol");
    ASSERT_TRUE(symbol->isVisible());
    // A white tick on a green disc.
    const QRectF disc = inWindow(symbol);
    const auto at = [&](double x, double y) {
        return doneImage.pixelColor((disc.topLeft() + QPointF(x, y) * disc.width()).toPoint() * window->devicePixelRatio());
    };
    EXPECT_TRUE(near(at(0.5, 0.85), QColor("#34c759")));
    EXPECT_TRUE(near(at(0.44, 0.66), Qt::white));
}

TEST(ShareSheet, FailureWrapsCentredAboveTheCloseButton)
{
    const struct {
        const char* name;
        PairedStore::Items items;
        std::vector<InputItem> shared;
        QString message;
        int minLines;
    } cases[] = {
        {"failed-unreachable", {}, {{{Attachment::url("https://a.example")}}}, unreachable, 2},
        {"failed-nolink", {}, {}, noLink, 1},
    };
    for (const auto& c : cases) {
        Rig rig(c.items);
        QQuickWindow* window = rig.show();
        ASSERT_TRUE(window) << c.name;
        rig.flow.start(c.shared);
        if (!rig.channels.opened.empty()) {
            rig.channels.last().close(transport::Channel::Error{transport::Channel::Error::Kind::connection, "refused"});
        }
        const QImage image = rig.grab(window, c.name);
        const QStringList texts = visibleTexts(window);
        EXPECT_TRUE(texts.contains(c.message)) << c.name;
        EXPECT_TRUE(texts.contains(closeText)) << c.name;
        EXPECT_FALSE(texts.contains(sending) || texts.contains(done)) << c.name;

        QQuickItem* message = named(window, "message");
        QQuickItem* button = named(window, "close");
        QQuickItem* symbol = named(window, "failedSymbol");
        EXPECT_GE(message->property("lineCount").toInt(), c.minLines) << c.name;
        EXPECT_FALSE(message->property("truncated").toBool()) << c.name;
        const QRectF text = inWindow(message);
        const QRectF buttonRect = inWindow(button);
        const QRectF symbolRect = inWindow(symbol);
        EXPECT_LE(text.width(), 300 - 2 * 28) << c.name;
        EXPECT_NEAR(text.center().x(), 150, 1) << c.name;
        EXPECT_NEAR(buttonRect.center().x(), 150, 1) << c.name;
        EXPECT_LE(symbolRect.bottom(), text.top()) << c.name;
        EXPECT_LE(text.bottom(), buttonRect.top()) << c.name;
        EXPECT_GE(symbolRect.top(), 0) << c.name;
        EXPECT_LE(buttonRect.bottom(), 200) << c.name;
        const QPointF lowerMiddle = (symbolRect.center() + QPointF(-10, 10)) * window->devicePixelRatio();
        EXPECT_TRUE(near(image.pixelColor(lowerMiddle.toPoint()), QColor("#ff9500"))) << c.name;

        QSignalSpy closes(&rig.sheet, &ShareSheet::closeRequested);
        QTest::mouseClick(window, Qt::LeftButton, {}, buttonRect.center().toPoint());
        EXPECT_EQ(closes.count(), 1) << c.name;
    }
}

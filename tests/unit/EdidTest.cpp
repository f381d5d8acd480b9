#include "platform/Edid.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using telvanto::platform::edidMonitorName;

namespace {

// A base block with the given 18-byte descriptors from offset 54.
QByteArray edid(const std::vector<QByteArray>& descriptors)
{
    QByteArray block(128, '\0');
    block.replace(0, 8, QByteArray("\x00\xff\xff\xff\xff\xff\xff\x00", 8));
    int at = 54;
    for (const QByteArray& d : descriptors) {
        block.replace(at, 18, d.leftJustified(18, ' ', true));
        at += 18;
    }
    return block;
}

QByteArray name(const QByteArray& text) { return QByteArray("\x00\x00\x00\xfc\x00", 5) + text; }
const QByteArray timing("\x01\x1d\x00\x72\x51\xd0\x1e\x20\x6e\x28\x55\x00\x40\x84\x63\x00\x00\x1e", 18);
const QByteArray serial = QByteArray("\x00\x00\x00\xff\x00", 5) + "SN12345\n";

} // namespace

TEST(Edid, MonitorName)
{
    const struct {
        const char* name;
        QByteArray bytes;
        std::optional<QString> expected;
    } cases[] = {
        {"name after a timing", edid({timing, name("AS-Living\n")}), "AS-Living"},
        {"full 13 characters", edid({name("MIBOX4 TV 123")}), "MIBOX4 TV 123"},
        {"padding trimmed", edid({name("DELL\n        ")}), "DELL"},
        {"split over two descriptors", edid({name("AirPlay Recei"), name("ver\n")}), "AirPlay Receiver"},
        {"serial is not a name", edid({timing, serial}), std::nullopt},
        {"a timing is never a name", edid({QByteArray("\x01\x00\x00\xfc\x00", 5) + "Fake\n"}), std::nullopt},
        {"control bytes dropped", edid({name(QByteArray("A\x01" "B\x7f\n", 5))}), "AB"},
        {"blank name", edid({name("\n")}), std::nullopt},
        {"bad header", QByteArray(128, '\xff'), std::nullopt},
        {"empty", QByteArray(), std::nullopt},
        {"extension block after the base one", edid({name("Big TV\n")}) + QByteArray(128, '\x02'), "Big TV"},
    };
    for (const auto& c : cases) EXPECT_EQ(edidMonitorName(c.bytes), c.expected) << c.name;
}

TEST(Edid, EveryTruncationIsNoName)
{
    const QByteArray full = edid({timing, timing, timing, name("Last\n")});
    ASSERT_EQ(edidMonitorName(full), "Last");
    for (int size = 0; size < 128; ++size) EXPECT_EQ(edidMonitorName(full.left(size)), std::nullopt) << size;
}

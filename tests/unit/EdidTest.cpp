#include "platform/Edid.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using telvanto::platform::edidMonitorName;

namespace {

// A base block with the given 18-byte descriptors from offset 54.
QByteArray edid(const std::vector<QByteArray>& descriptors)
{
    QByteArray block = QByteArray("\x00\xff\xff\xff\xff\xff\xff\x00", 8).leftJustified(128, '\0');
    for (std::size_t i = 0; i < descriptors.size(); ++i) block.replace(54 + 18 * int(i), 18, descriptors[i].leftJustified(18, ' ', true));
    return block;
}

QByteArray name(const QByteArray& text) { return QByteArray("\x00\x00\x00\xfc\x00", 5) + text; }
const QByteArray timing("\x01\x1d\x00\x72\x51\xd0\x1e\x20\x6e\x28\x55\x00\x40\x84\x63\x00\x00\x1e", 18);

} // namespace

TEST(Edid, MonitorName)
{
    const struct { const char* name; QByteArray bytes; std::optional<QString> expected; } rows[] = {
        {"spaces trimmed", edid({name("  DELL \n")}), "DELL"},
        {"split over two descriptors, the first full", edid({name("AirPlay Recei"), name("ver\n")}), "AirPlay Receiver"},
        {"a timing is never a name", edid({QByteArray("\x01\x00\x00\xfc\x00", 5) + "Fake\n"}), std::nullopt},
        {"control bytes dropped", edid({name(QByteArray("A\x01" "B\x7f\n", 5))}), "AB"},
        {"blank name", edid({name("\n")}), std::nullopt},
        {"bad header", QByteArray(128, '\xff'), std::nullopt},
        {"name in the last descriptor", edid({timing, timing, timing, name("Last\n")}), "Last"},
        {"base block a byte short", edid({timing, timing, timing, name("Last\n")}).left(127), std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(edidMonitorName(r.bytes), r.expected) << r.name;
}

#include "platform/Edid.h"

namespace telvanto::platform {

namespace {

constexpr int baseBlockSize = 128;
constexpr int firstDescriptor = 54;
constexpr int descriptorSize = 18;
constexpr int descriptorCount = 4;
constexpr unsigned char monitorNameTag = 0xFC;
constexpr int textStart = 5; // 13 bytes of text follow the 5-byte descriptor header

} // namespace

std::optional<QString> edidMonitorName(const QByteArray& edid)
{
    static const QByteArray header("\x00\xff\xff\xff\xff\xff\xff\x00", 8);
    if (edid.size() < baseBlockSize || !edid.startsWith(header)) return std::nullopt;

    QString name;
    for (int i = 0; i < descriptorCount; ++i) {
        const auto* d = reinterpret_cast<const unsigned char*>(edid.constData()) + firstDescriptor + i * descriptorSize;
        // A display descriptor has no pixel clock; a detailed timing would have one.
        if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != monitorNameTag) continue;
        for (int k = textStart; k < descriptorSize && d[k] != '\n'; ++k) {
            // Printable ASCII only: the rest is a code page nobody agrees on.
            if (d[k] >= 0x20 && d[k] < 0x7f) name += QLatin1Char(static_cast<char>(d[k]));
        }
    }
    name = name.trimmed();
    if (name.isEmpty()) return std::nullopt;
    return name;
}

} // namespace telvanto::platform

#include "app/Symbols.h"

#include <QFile>
#include <QFontDatabase>

#include <map>

namespace telvanto::app::symbols {

namespace {

constexpr const char* fontFile = "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf";

// Symbol name -> Material Icons code points (two for the play/pause pair, which the font lacks).
const std::map<QString, std::u16string>& table()
{
    static const std::map<QString, std::u16string> glyphs = {
        {QStringLiteral("tv"), u"\ue333"},
        {QStringLiteral("tv.inset.filled"), u"\ue308"}, // cast_connected: the TV showing this desktop
        {QStringLiteral("macbook.and.tv"), u"\ue1b1"}, // devices
        {QStringLiteral("play.fill"), u"\ue037"},
        {QStringLiteral("stop.fill"), u"\ue047"},
        {QStringLiteral("ellipsis"), u"\ue5d3"},
        {QStringLiteral("checkmark"), u"\ue5ca"},
        {QStringLiteral("power"), u"\ue8ac"},
        {QStringLiteral("chevron.backward"), u"\ue5e0"},
        {QStringLiteral("house.fill"), u"\ue88a"},
        {QStringLiteral("playpause.fill"), u"\ue037\ue034"},
        {QStringLiteral("keyboard"), u"\ue312"},
        {QStringLiteral("delete.left"), u"\ue14a"},
        {QStringLiteral("chevron.up"), u"\ue316"},
        {QStringLiteral("chevron.down"), u"\ue313"},
        {QStringLiteral("chevron.left"), u"\ue314"},
        {QStringLiteral("chevron.right"), u"\ue315"},
        {QStringLiteral("link.circle.fill"), u"\ue157"},
        {QStringLiteral("speaker.fill"), u"\ue050"},
        {QStringLiteral("speaker.slash.fill"), u"\ue04f"},
        {QStringLiteral("minus"), u"\ue15b"},
        {QStringLiteral("plus"), u"\ue145"},
        {QStringLiteral("backward.end.fill"), u"\ue045"},
        {QStringLiteral("backward.fill"), u"\ue020"},
        {QStringLiteral("forward.fill"), u"\ue01f"},
        {QStringLiteral("forward.end.fill"), u"\ue044"},
        // The app catalogue
        {QStringLiteral("play.rectangle.fill"), u"\ue63a"},
        {QStringLiteral("n.square.fill"), u"\ue02c"},
        {QStringLiteral("v.square.fill"), u"\ue639"},
        {QStringLiteral("h.square.fill"), u"\ue8da"},
        {QStringLiteral("sparkles.tv.fill"), u"\ue65f"},
        {QStringLiteral("s.square.fill"), u"\ue064"},
        {QStringLiteral("music.note"), u"\ue405"},
        {QStringLiteral("airplayvideo"), u"\ue055"},
    };
    return glyphs;
}

} // namespace

QString glyph(const QString& symbolName)
{
    const auto it = table().find(symbolName);
    return it == table().end() ? QString() : QString::fromStdU16String(it->second);
}

QString fontFamily()
{
    static const QString family = [] {
        const QString installed = QStringLiteral("Material Icons");
        if (QFontDatabase::hasFamily(installed)) return installed;
        if (!QFile::exists(QString::fromLatin1(fontFile))) return QString();
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(fontFile));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

QStringList names()
{
    QStringList out;
    for (const auto& [name, glyphs] : table()) out << name;
    return out;
}

} // namespace telvanto::app::symbols

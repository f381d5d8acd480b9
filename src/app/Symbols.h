#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace telvanto::app {

// The symbol names the window uses, drawn with glyphs of the Material Icons font that Debian
// installs (fonts-material-design-icons-iconfont).
namespace symbols {

// The glyph (one character) for a symbol name; empty for a name not in the table.
QString glyph(const QString& symbolName);
// The font family that holds the glyphs; loads the font file on first use (needs a
// QGuiApplication). Empty when the font is not installed: the window then shows no symbols.
QString fontFamily();
// Every name of the table, for checks that each maps to a glyph the font really has.
QStringList names();

} // namespace symbols

// The table for QML: Symbols.glyph("house.fill"), Symbols.font.
class SymbolTable final : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Symbols)
    QML_SINGLETON
    Q_PROPERTY(QString font READ font CONSTANT)

public:
    using QObject::QObject;
    QString font() const { return symbols::fontFamily(); }
    Q_INVOKABLE QString glyph(const QString& symbolName) const { return symbols::glyph(symbolName); }
};

} // namespace telvanto::app

#include "app/PairingView.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sstream>

using telvanto::app::PairingView;

namespace {

// The code field played by edits, each giving the field's new text: "type:CHARS" one edit per
// character appended, "paste:TEXT" one edit appending TEXT, "set:TEXT" the text becomes TEXT
// ("_" a blank), "del" the last character removed, "reset" the card shown afresh, "?N" the last
// edit was announced N times (the field falls back to the kept code only when told). The code
// 000000 fails the check on this side.
struct CodeRig {
    QStringList submitted;
    PairingView view{[this](const QString& code) {
        submitted << code;
        return code != "000000";
    }};
    QSignalSpy announced{&view, &PairingView::codeChanged};
    void edit(const QString& text) { announced.clear(); view.setCode(text); }

    void run(const std::string& script)
    {
        std::istringstream words(script);
        for (std::string w; words >> w;) {
            const QString arg = QString::fromStdString(w.substr(w.find(':') + 1)).replace(u'_', u' ');
            if (w.starts_with("type:")) for (const QChar c : arg) edit(view.code() + c);
            else if (w.starts_with("paste:")) edit(view.code() + arg);
            else if (w.starts_with("set:")) edit(arg);
            else if (w == "del") edit(view.code().chopped(1));
            else if (w[0] == '?') EXPECT_EQ(announced.count(), std::stoi(w.substr(1))) << script;
            else view.reset();
        }
    }
};

} // namespace

TEST(PairingView, CodeRule)
{
    const struct { const char* script; const char* code; const char* submitted; bool wrong; } cases[] = {
        {"type:3f9a1c", "3F9A1C", "3F9A1C", false}, {"paste:3F-9A_1C77", "3F9A1C", "3F9A1C", false},
        // rejected here: the hint until the next change; a new sixth character submits again
        {"type:000000", "000000", "000000", true}, {"type:000000 del", "00000", "000000", false},
        {"type:000000 del type:1", "000001", "000000 000001", false},
        // the field's own correction (case, dropped or extra characters) is no new code
        {"set:00000a set:00000A", "00000A", "00000A", false}, {"type:000000 set:000000_", "000000", "000000", true},
        // the user's own correction: the same sixth character typed again is submitted again
        {"type:000000 del type:0", "000000", "000000 000000", true}, {"type:000000 reset type:000000", "000000", "000000 000000", true},
        // ASCII hexadecimal digits only: not full-width, Arabic-Indic, ligatures that upper-case
        // to FF or SS, dotted or dotless i
        {"paste:\uFF13\uFF26\uFF19\u0663\u0669\uFB00\u00DF\u0130\u0131", "", "", false},
        // every edit that the rule changes is announced
        {"set:a ?1", "A", "", false}, {"set:ABC set:ABC ?0", "ABC", "", false}, {"type:ABCDEF set:ABCDEF7 ?1", "ABCDEF", "ABCDEF", false},
    };
    for (const auto& c : cases) {
        CodeRig rig;
        rig.run(c.script);
        EXPECT_EQ(rig.view.code(), QString::fromUtf8(c.code)) << c.script;
        EXPECT_EQ(rig.submitted.join(u' '), QString::fromUtf8(c.submitted)) << c.script;
        EXPECT_EQ(rig.view.wrong(), c.wrong) << c.script;
    }
}

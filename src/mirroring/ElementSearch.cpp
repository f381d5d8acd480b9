#include "mirroring/ElementSearch.h"

#include <QLocale>

namespace telvanto::mirroring::search {

namespace {

using Attribute = Element::Attribute;

QString lowered(const Element& element, Attribute attribute)
{
    return stringAttribute(element, attribute).toLower();
}

// Depth-first walk shared by both searches; budget counts the elements tested.
template <typename Test>
ElementPtr find(const ElementPtr& element, int level, int& budget, const Test& test)
{
    if (level > deepestSearchLevel || budget <= 0) return nullptr;
    --budget;
    if (level > 0 && test(*element)) return element;
    if (level == deepestSearchLevel) return nullptr; // children would be too deep
    for (const ElementPtr& child : element->children()) {
        if (ElementPtr found = find(child, level + 1, budget, test)) return found;
        if (budget <= 0) break;
    }
    return nullptr;
}

void dump(const ElementPtr& element, int level, int& budget, QString& into)
{
    if (level > deepestDumpLevel || budget <= 0) return;
    --budget;
    into += QString(level * 2, QLatin1Char(' ')) + describeElement(*element) + QLatin1Char('\n');
    for (const ElementPtr& child : element->children()) dump(child, level + 1, budget, into);
}

} // namespace

QString stringAttribute(const Element& element, Attribute attribute)
{
    return element.text(attribute).value_or(QString());
}

QString numberText(const Element& element)
{
    const std::optional<double> value = element.number();
    if (!value) return QStringLiteral("-");
    // Shortest text that reads back as the same number: 1 as "1", 0.5 as "0.5".
    return QString::number(*value, 'g', QLocale::FloatingPointShortest);
}

bool boolValue(const Element& element)
{
    const std::optional<double> value = element.number();
    return value && *value != 0;
}

bool matchesAnyKeyword(const Element& element, const QStringList& keywords)
{
    const QString joined = QStringList{lowered(element, Attribute::title), lowered(element, Attribute::description),
                                       lowered(element, Attribute::identifier), lowered(element, Attribute::value),
                                       lowered(element, Attribute::help)}
                               .join(QStringLiteral(" | "));
    for (const QString& keyword : keywords)
        if (!keyword.isEmpty() && joined.contains(keyword)) return true;
    return false;
}

ElementPtr findMirroringTile(const ElementPtr& element, int level, const Panel& panel)
{
    int budget = elementsPerWalk;
    return find(element, level, budget, [&panel](const Element& e) {
        return matchesAnyKeyword(e, panel.keywords) && !lowered(e, Attribute::identifier).startsWith(panel.statusItemPrefix);
    });
}

bool isReceiverRow(const Element& element, const QString& name, const Panel& panel)
{
    if (!lowered(element, Attribute::identifier).startsWith(panel.rowPrefix)) return false;
    return stringAttribute(element, Attribute::description) == name || stringAttribute(element, Attribute::title) == name;
}

ElementPtr findReceiverRow(const ElementPtr& element, int level, const QString& name, const Panel& panel)
{
    int budget = elementsPerWalk;
    return find(element, level, budget, [&](const Element& e) { return isReceiverRow(e, name, panel); });
}

ElementPtr panelItem(ElementTree& tree, const Element& application, const Panel& panel)
{
    for (const ElementPtr& item : tree.statusItems(application))
        if (lowered(*item, Attribute::identifier).contains(panel.itemMarker)) return item;
    return nullptr;
}

void closePanel(ElementTree& tree, const Element& application)
{
    for (const ElementPtr& child : application.children()) {
        if (child->isOpenWindow()) {
            tree.postEscape();
            return;
        }
    }
}

QString describeElement(const Element& element)
{
    QStringList fields;
    for (const Attribute a : {Attribute::role, Attribute::subrole, Attribute::title, Attribute::description,
                              Attribute::identifier, Attribute::value})
        fields << stringAttribute(element, a);
    QStringList actions;
    for (const QString& action : element.actions()) actions << QLatin1Char('"') + action + QLatin1Char('"');
    return fields.join(QStringLiteral(" | ")) + QStringLiteral(" | actions=[") + actions.join(QStringLiteral(", "))
           + QStringLiteral("] | value=") + numberText(element);
}

void dumpTree(const ElementPtr& element, int level, QString& into)
{
    int budget = elementsPerWalk;
    dump(element, level, budget, into);
}

} // namespace telvanto::mirroring::search

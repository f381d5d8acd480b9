#pragma once

#include "mirroring/ElementTree.h"
#include "mirroring/Panel.h"

#include <QString>

namespace telvanto::mirroring {

// The searches and the text picture of a panel's accessibility tree. Each walk reads one
// attribute per test and stops at its depth limit; a walk also stops after a fixed number of
// elements, because the tree belongs to another program and may be huge or endless.
namespace search {

// The application element is level 0; elements deeper than these are not searched / dumped.
constexpr int deepestSearchLevel = 14;
constexpr int deepestDumpLevel = 15;
// Far above any real panel (a few hundred elements), low enough to keep a walk short.
constexpr int elementsPerWalk = 2000;

// The attribute when it is text, else the empty text.
QString stringAttribute(const Element& element, Element::Attribute attribute);
// The value as decimal text when it is a number ("0", "1", "0.5"), else "-".
QString numberText(const Element& element);
// The value's truth when it is a number, else false.
bool boolValue(const Element& element);

// True when a non-empty keyword occurs in the lower-cased title, description, identifier,
// value and help, joined with " | ".
bool matchesAnyKeyword(const Element& element, const QStringList& keywords);
// Depth first, children in order: the first element below level 0 that matches a keyword and
// is no status item; a status item's children are still searched.
ElementPtr findMirroringTile(const ElementPtr& element, int level, const Panel& panel);
// A row carries the row prefix in its identifier (any case) and the name, exactly, as its
// description or else its title.
bool isReceiverRow(const Element& element, const QString& name, const Panel& panel);
ElementPtr findReceiverRow(const ElementPtr& element, int level, const QString& name, const Panel& panel);

// The first status item whose identifier contains the panel's marker (any case).
ElementPtr panelItem(ElementTree& tree, const Element& application, const Panel& panel);
// Sends Escape when one of the application's windows is open, to dismiss the panel.
void closePanel(ElementTree& tree, const Element& application);

// role | subrole | title | description | identifier | value | actions=["A", "B"] | value=N
QString describeElement(const Element& element);
// One line per element, indented two spaces per level, children after their parent.
void dumpTree(const ElementPtr& element, int level, QString& into);

} // namespace search
} // namespace telvanto::mirroring

#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace telvanto::mirroring {

// One element of another application's accessibility tree. The application may change or go
// away at any time: every read then answers absent or empty, and a press does nothing.
class Element {
public:
    // The attributes the panel automation reads, named after the panel's own terms.
    enum class Attribute { role, subrole, title, description, identifier, value, help };

    virtual ~Element() = default;

    // The attribute when it is text; none when absent or not text.
    virtual std::optional<QString> text(Attribute attribute) const = 0;
    // The element's value when it is a number (an on/off state reads 1 or 0); else none.
    virtual std::optional<double> number() const = 0;
    virtual std::vector<std::shared_ptr<Element>> children() const = 0;
    // Names of the element's actions, in order; empty when unavailable.
    virtual QStringList actions() const = 0;
    // Performs the element's first action, as a click would; the outcome is not reported.
    virtual void press() = 0;
    // True for a top-level window that is open on screen.
    virtual bool isOpenWindow() const = 0;
};

using ElementPtr = std::shared_ptr<Element>;

// Access to running applications' trees. Main thread only; calls may block briefly.
class ElementTree {
public:
    virtual ~ElementTree() = default;

    // The running application of that name; none when it is not running.
    virtual ElementPtr application(const QString& name) = 0;
    // The items the application shows in the desktop's status area, in order.
    virtual std::vector<ElementPtr> statusItems(const Element& application) = 0;
    // Sends the Escape key (down, then up) to whatever has the keyboard focus.
    virtual void postEscape() = 0;
};

} // namespace telvanto::mirroring

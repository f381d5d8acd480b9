#pragma once

#include <QColor>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace telvanto::app {

// The window's background: a dark vertical gradient, a violet glow from the top-left corner
// and a teal one from the bottom-right, each glow 520 points in radius. Painted in the frame
// that first shows it and again only when the size changes.
class Backdrop : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit Backdrop(QQuickItem* parent = nullptr);
    void paint(QPainter* painter) override;
};

// A rounded plate filled with a gradient from its top-left to its bottom-right corner, from
// the colour to the same colour at 60 % opacity, with an optional 2-point outline inside.
class GradientPlate : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(double radius READ radius WRITE setRadius NOTIFY radiusChanged)
    Q_PROPERTY(bool outlined READ outlined WRITE setOutlined NOTIFY outlinedChanged)

public:
    explicit GradientPlate(QQuickItem* parent = nullptr);
    void paint(QPainter* painter) override;

    QColor color() const { return color_; }
    void setColor(const QColor& color);
    double radius() const { return radius_; }
    void setRadius(double radius);
    bool outlined() const { return outlined_; }
    void setOutlined(bool outlined);

Q_SIGNALS:
    void colorChanged();
    void radiusChanged();
    void outlinedChanged();

private:
    QColor color_;
    double radius_ = 0;
    bool outlined_ = false;
};

} // namespace telvanto::app

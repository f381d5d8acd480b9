#include "app/Painted.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace telvanto::app {

Backdrop::Backdrop(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setOpaquePainting(true);
    setAntialiasing(true);
}

void Backdrop::paint(QPainter* painter)
{
    const QRectF area(0, 0, width(), height());
    QLinearGradient base(area.topLeft(), area.bottomLeft());
    base.setColorAt(0, QColor::fromRgbF(0.05f, 0.06f, 0.12f));
    base.setColorAt(1, QColor::fromRgbF(0.02f, 0.02f, 0.05f));
    painter->fillRect(area, base);
    const auto glow = [&](QPointF centre, float r, float g, float b, float a) {
        QRadialGradient fill(centre, 520);
        fill.setColorAt(0, QColor::fromRgbF(r, g, b, a));
        fill.setColorAt(1, QColor::fromRgbF(r, g, b, 0));
        painter->fillRect(area, fill);
    };
    glow(area.topLeft(), 0.25f, 0.2f, 0.6f, 0.45f);
    glow(area.bottomRight(), 0.05f, 0.45f, 0.5f, 0.3f);
}

GradientPlate::GradientPlate(QQuickItem* parent) : QQuickPaintedItem(parent) { setAntialiasing(true); }

void GradientPlate::paint(QPainter* painter)
{
    const QRectF area(0, 0, width(), height());
    painter->setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(area.topLeft(), area.bottomRight());
    QColor faded = color_;
    faded.setAlphaF(color_.alphaF() * 0.6f);
    fill.setColorAt(0, color_);
    fill.setColorAt(1, faded);
    QPainterPath plate;
    plate.addRoundedRect(area, radius_, radius_);
    painter->fillPath(plate, fill);
    if (!outlined_) return;
    painter->setPen(QPen(Qt::white, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(area.adjusted(1, 1, -1, -1), radius_ - 1, radius_ - 1);
}

void GradientPlate::setColor(const QColor& color)
{
    if (color == color_) return;
    color_ = color;
    update();
    Q_EMIT colorChanged();
}

void GradientPlate::setRadius(double radius)
{
    if (radius == radius_) return;
    radius_ = radius;
    update();
    Q_EMIT radiusChanged();
}

void GradientPlate::setOutlined(bool outlined)
{
    if (outlined == outlined_) return;
    outlined_ = outlined;
    update();
    Q_EMIT outlinedChanged();
}

} // namespace telvanto::app

#include "lamp.h"

#include <QPainter>

namespace kelmar {

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
}

void Lamp::setColor(const QColor &c)
{
    m_color = c;
    update();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_color);
    const int d = qMin(width(), height()) - 1;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

} // namespace kelmar

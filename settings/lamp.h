#pragma once

#include <QColor>
#include <QWidget>

namespace kelmar {

// A filled circle in a solid colour: the connection lamp.
class Lamp : public QWidget
{
    Q_OBJECT
public:
    explicit Lamp(QWidget *parent = nullptr);
    QColor color() const { return m_color; }
    void setColor(const QColor &c);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QColor m_color = Qt::red;
};

} // namespace kelmar

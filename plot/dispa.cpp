// placeholder
#include "dispa.h"
#include <QPainter>
DispA::DispA(QWidget *parent) : QFrame(parent), bgColor(Qt::white) {}
DispA::~DispA() = default;
void DispA::paintEvent(QPaintEvent *) { QPainter p(this); p.fillRect(0, 0, width(), height(), bgColor); emit drawImage1(&p); emit drawImage2(&p); }
void DispA::mouseMoveEvent(QMouseEvent *) {}
void DispA::mousePressEvent(QMouseEvent *) {}
void DispA::mouseReleaseEvent(QMouseEvent *) {}
void DispA::mouseDoubleClickEvent(QMouseEvent *) {}
void DispA::wheelEvent(QWheelEvent *) {}

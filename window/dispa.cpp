// SPDX-License-Identifier: GPL-3.0-or-later
#include "dispa.h"

#include <QMouseEvent>
#include <QPainter>

DispA::DispA(QWidget *parent) : QFrame(parent), bgColor(Qt::white)
{
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_MouseTracking);
    coord.attachMouse(&mouse);
}

DispA::~DispA() = default;

void DispA::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // The whole widget is the plot: the frame is deliberately painted over.
    p.fillRect(0, 0, width(), height(), bgColor);
    coord.setPixelRect(0, height(), width(), 0);
    emit drawImage1(&p);
    emit drawImage2(&p);
}

void DispA::mouseMoveEvent(QMouseEvent *e)
{
    // Alt lets the pointer leave the plot without disturbing the record.
    if (e->modifiers() & Qt::AltModifier)
        return;
    mouse.recordMove(e);
    emit mouseMoved0();
    update();
}

void DispA::mousePressEvent(QMouseEvent *e)
{
    mouse.recordPress(e);
    emit mousePressed0();
    update();
}

void DispA::mouseReleaseEvent(QMouseEvent *e)
{
    mouse.recordRelease(e);
    emit mouseReleased0();
    update();
}

void DispA::mouseDoubleClickEvent(QMouseEvent *e)
{
    mouse.recordDoubleClick(e);
    emit mouseDoubleClicked0();
    update();
}

void DispA::wheelEvent(QWheelEvent *e)
{
    mouse.recordWheel(e);
    emit wheelMoved0();
    update();
}

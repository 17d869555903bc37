// SPDX-License-Identifier: GPL-3.0-or-later
#include "mousec.h"

#include <QMouseEvent>
#include <QWheelEvent>

MouseC::MouseC(QObject *parent) : QObject(parent) { }

void MouseC::recordMove(QMouseEvent *e)
{
    prevX = curX;
    prevY = curY;
    curX = qRound(e->localPos().x());
    curY = qRound(e->localPos().y());
    moveButton = int(e->button());
    moveModifiers = int(e->modifiers());
    emit mMoved();
}

void MouseC::recordPress(QMouseEvent *e)
{
    prevX = curX;
    prevY = curY;
    pressX = curX = qRound(e->localPos().x());
    pressY = curY = qRound(e->localPos().y());
    pressed = true;
    pressButton = int(e->button());
    pressModifiers = int(e->modifiers());
    emit mPressed();
}

void MouseC::recordRelease(QMouseEvent *e)
{
    prevX = curX;
    prevY = curY;
    releaseX = curX = qRound(e->localPos().x());
    releaseY = curY = qRound(e->localPos().y());
    pressed = false;
    releaseButton = int(e->button());
    releaseModifiers = int(e->modifiers());
    emit mReleased();
}

void MouseC::recordDoubleClick(QMouseEvent *e)
{
    dclickX = qRound(e->localPos().x());
    dclickY = qRound(e->localPos().y());
    dclickButton = int(e->button());
    dclickModifiers = int(e->modifiers());
    emit mDClicked();
}

void MouseC::recordWheel(QWheelEvent *e)
{
    // One wheel axis only, in eighths of a degree: a notch of an ordinary wheel
    // is 120, i.e. 15 degrees, and gives one step. The axis is the one Qt's
    // own single-axis delta() takes: horizontal only when it turned further,
    // so a diagonal touchpad scroll counts its larger part.
    const QPoint angle = e->angleDelta();
    const int delta = qAbs(angle.x()) > qAbs(angle.y()) ? angle.x() : angle.y();
    emit wheelMoved(int(delta * 0.125 / 15));
}

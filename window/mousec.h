// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QMouseEvent;
class QWheelEvent;

// The latest mouse state of one plot display, re-emitted as signals.
class MouseC : public QObject
{
    Q_OBJECT
public:
    explicit MouseC(QObject *parent = nullptr);

    void recordMove(QMouseEvent *e);
    void recordPress(QMouseEvent *e);
    void recordRelease(QMouseEvent *e);
    void recordDoubleClick(QMouseEvent *e);
    void recordWheel(QWheelEvent *e);

    int prevX = 0, prevY = 0;
    int curX = 0, curY = 0;
    int pressX = 0, pressY = 0;
    int releaseX = 0, releaseY = 0;
    int dclickX = 0, dclickY = 0;
    bool pressed = false;
    int moveButton = 0;
    int pressButton = 0;
    int releaseButton = 0;
    int dclickButton = 0;
    int moveModifiers = 0;
    int pressModifiers = 0;
    int releaseModifiers = 0;
    int dclickModifiers = 0;

signals:
    void mMoved();
    void mPressed();
    void mReleased();
    void mDClicked();
    void wheelMoved(int step);
};

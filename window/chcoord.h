// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chartmapping.h"

#include <QObject>

class MouseC;

// The mapping of one plot display, panned and zoomed by the mouse gestures
// that the display's MouseC records.
class ChCoord : public QObject, public ChartMapping
{
    Q_OBJECT
public:
    explicit ChCoord(QObject *parent = nullptr);

    void attachMouse(MouseC *m);

    MouseC *mouse = nullptr;
    // True once a pan or zoom has moved the value range away from the one the
    // plot takes from its data; the plot then keeps the range. A double click
    // clears it, and so does the window when it loads or clears points.
    bool userRange = false;

signals:
    void updated();
    void nowPos(double x, double y);
    void newVLines();

public slots:
    void clearScale();
    void mMoved();
    void mPressed();
    void mReleased();
    void mDClicked();
    void wheelMoved(int step);
};

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chcoord.h"
#include "mousec.h"

#include <QColor>
#include <QFrame>

class QPainter;

// A plot frame: clears itself to white at each paint and hands its painter to
// whoever draws the plot; mouse and wheel events go to its MouseC record.
class DispA : public QFrame
{
    Q_OBJECT
public:
    explicit DispA(QWidget *parent = nullptr);
    ~DispA() override;

    ChCoord coord;
    MouseC mouse;
    QColor bgColor;

signals:
    void drawImage1(QPainter *p);
    void drawImage2(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

private slots:
    void paintEvent(QPaintEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
};

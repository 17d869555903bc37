// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class MouseC;

// Value-to-pixel mapping of one plot display, with mouse pan and zoom.
// Start and end of a range are not min and max: either orientation works.
class ChCoord : public QObject
{
    Q_OBJECT
public:
    explicit ChCoord(QObject *parent = nullptr);

    void attachMouse(MouseC *m);
    void setPixelRect(double x0, double y0, double x1, double y1);
    void setPlotRect(double x0, double y0, double x1, double y1);
    void applyMargins();
    void setValueRange(double x0, double y0, double x1, double y1);
    void setXRange(double x0, double x1);
    void setYRange(double y0, double y1);

    double xToPixel(double x) const;
    double yToPixel(double y) const;
    double pixelToX(double p) const;
    double pixelToY(double p) const;
    double pixelToXClamped(double p) const;
    double pixelToYClamped(double p) const;
    double pixelToXRelative(double p) const;
    double pixelToYRelative(double p) const;
    double xLengthToPixels(double d) const;
    double yLengthToPixels(double d) const;
    double pixelsToXLength(double d) const;
    double pixelsToYLength(double d) const;
    bool nearPlotXEdge(double p) const;
    bool nearPlotYEdge(double p) const;
    bool nearWidgetXEdge(double p) const;
    bool nearWidgetYEdge(double p) const;

    MouseC *mouse = nullptr;
    bool xRangeSet = false;
    bool yRangeSet = false;
    double wx0 = 0, wx1 = 1;
    double wy0 = 0, wy1 = 1;
    double px0 = 0, px1 = 1;
    double py0 = 0, py1 = 1;
    double vx0 = 0, vx1 = 1;
    double vy0 = 0, vy1 = 1;
    double savedVx0 = 0, savedVx1 = 0, savedVy0 = 0, savedVy1 = 0;
    double widgetEdge = 0.1;
    double plotEdge = 0.1;
    double marginX0 = 0.1;
    double marginX1 = 0.05;
    double marginY1 = 0.05;
    double marginY0 = 0.1;

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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "chcoord.h"

#include "mousec.h"

#include <QtGlobal>

#include <cmath>

namespace {

// True if p lies outside the inner part of the span a..b, the outer band on
// either side being edge times the span wide.
bool nearEdge(double p, double a, double b, double edge)
{
    const double lo = qMin(a, b);
    const double hi = qMax(a, b);
    const double band = std::fabs(b - a) * edge;
    return p < lo + band || p > hi - band;
}

// A range the mapping can divide by: finite ends that differ.
bool usableRange(double v0, double v1)
{
    return std::isfinite(v0) && std::isfinite(v1) && v0 != v1;
}

bool blocksGesture(int modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

ChCoord::ChCoord(QObject *parent) : QObject(parent) { }

void ChCoord::attachMouse(MouseC *m)
{
    mouse = m;
    connect(m, SIGNAL(mMoved()), this, SLOT(mMoved()));
    connect(m, SIGNAL(mPressed()), this, SLOT(mPressed()));
    connect(m, SIGNAL(mReleased()), this, SLOT(mReleased()));
    connect(m, SIGNAL(mDClicked()), this, SLOT(mDClicked()));
    connect(m, SIGNAL(wheelMoved(int)), this, SLOT(wheelMoved(int)));
}

void ChCoord::setPixelRect(double x0, double y0, double x1, double y1)
{
    wx0 = x0;
    wy0 = y0;
    wx1 = x1;
    wy1 = y1;
    setPlotRect(x0, y0, x1, y1);
}

void ChCoord::setPlotRect(double x0, double y0, double x1, double y1)
{
    px0 = x0;
    py0 = y0;
    px1 = x1;
    py1 = y1;
}

void ChCoord::applyMargins()
{
    // Whole pixels, so that axes drawn at the plot edges stay sharp.
    px0 = wx0 + qint32(marginX0 * (wx1 - wx0));
    px1 = wx1 - qint32((wx1 - wx0) * marginX1);
    py0 = wy0 + qint32(marginY0 * (wy1 - wy0));
    py1 = wy1 - qint32((wy1 - wy0) * marginY1);
}

void ChCoord::setValueRange(double x0, double y0, double x1, double y1)
{
    setXRange(x0, x1);
    setYRange(y0, y1);
}

void ChCoord::setXRange(double x0, double x1)
{
    savedVx0 = vx0 = x0;
    savedVx1 = vx1 = x1;
    xRangeSet = true;
}

void ChCoord::setYRange(double y0, double y1)
{
    savedVy0 = vy0 = y0;
    savedVy1 = vy1 = y1;
    yRangeSet = true;
}

double ChCoord::xToPixel(double x) const
{
    return px0 + (x - vx0) * ((px1 - px0) / (vx1 - vx0));
}

double ChCoord::yToPixel(double y) const
{
    return py0 + (y - vy0) * ((py1 - py0) / (vy1 - vy0));
}

double ChCoord::pixelToX(double p) const
{
    return vx0 + (p - px0) * ((vx1 - vx0) / (px1 - px0));
}

double ChCoord::pixelToY(double p) const
{
    return vy0 + (p - py0) * ((vy1 - vy0) / (py1 - py0));
}

double ChCoord::pixelToXClamped(double p) const
{
    return qBound(qMin(vx0, vx1), pixelToX(p), qMax(vx0, vx1));
}

double ChCoord::pixelToYClamped(double p) const
{
    return qBound(qMin(vy0, vy1), pixelToY(p), qMax(vy0, vy1));
}

double ChCoord::pixelToXRelative(double p) const
{
    return (vx1 - vx0) / (px1 - px0) * (p - px0);
}

double ChCoord::pixelToYRelative(double p) const
{
    return (vy1 - vy0) / (py1 - py0) * (p - py0);
}

double ChCoord::xLengthToPixels(double d) const
{
    return (px1 - px0) / (vx1 - vx0) * d;
}

double ChCoord::yLengthToPixels(double d) const
{
    return (py1 - py0) / (vy1 - vy0) * d;
}

double ChCoord::pixelsToXLength(double d) const
{
    return (vx1 - vx0) / (px1 - px0) * d;
}

double ChCoord::pixelsToYLength(double d) const
{
    return (vy1 - vy0) / (py1 - py0) * d;
}

bool ChCoord::nearPlotXEdge(double p) const
{
    return nearEdge(p, px0, px1, plotEdge);
}

bool ChCoord::nearPlotYEdge(double p) const
{
    return nearEdge(p, py0, py1, plotEdge);
}

bool ChCoord::nearWidgetXEdge(double p) const
{
    return nearEdge(p, wx0, wx1, widgetEdge);
}

bool ChCoord::nearWidgetYEdge(double p) const
{
    return nearEdge(p, wy0, wy1, widgetEdge);
}

void ChCoord::clearScale()
{
    vx0 = vx1 = vy0 = vy1 = 0;
    xRangeSet = false;
    yRangeSet = false;
}

void ChCoord::mMoved()
{
    const double x = pixelToX(mouse->curX);
    const double y = pixelToY(mouse->curY);
    emit nowPos(x, y);

    if (mouse->pressed && mouse->pressButton == Qt::LeftButton
        && !blocksGesture(mouse->pressModifiers)) {
        // Drag the value under the previous pointer position to the current one.
        const double dx = pixelToX(mouse->prevX) - x;
        const double dy = pixelToY(mouse->prevY) - y;
        if (usableRange(vx0 + dx, vx1 + dx)) {
            vx0 += dx;
            vx1 += dx;
        }
        if (usableRange(vy0 + dy, vy1 + dy)) {
            vy0 += dy;
            vy1 += dy;
        }
    }
    emit updated();
}

void ChCoord::mPressed()
{
    emit updated();
}

void ChCoord::mReleased()
{
    if (mouse->pressButton == Qt::RightButton && !blocksGesture(mouse->pressModifiers)) {
        // The corner further left gives the x start and the y end; y values are
        // not sorted, so a drag upwards from the left flips the y axis.
        double lx = mouse->pressX, ly = mouse->pressY;
        double rx = mouse->releaseX, ry = mouse->releaseY;
        if (rx < lx) {
            qSwap(lx, rx);
            qSwap(ly, ry);
        }
        const double x0 = pixelToX(lx);
        const double x1 = pixelToX(rx);
        const double y1 = pixelToY(ly);
        const double y0 = pixelToY(ry);
        // A click without a drag spans no rectangle; zooming into it would
        // leave nothing to map onto the plot.
        if (usableRange(x0, x1) && usableRange(y0, y1))
            setValueRange(x0, y0, x1, y1);
    }
    emit updated();
}

void ChCoord::mDClicked()
{
    emit updated();
}

void ChCoord::wheelMoved(int step)
{
    const double k = step < 0 ? 1.1 : 1 / 1.1;
    const double xm = pixelToX(mouse->curX);
    const double ym = pixelToY(mouse->curY);
    const bool nearX = nearPlotXEdge(mouse->curX);
    const bool nearY = nearPlotYEdge(mouse->curY);

    // The left and right bands zoom y alone, the top and bottom bands x alone.
    if (!(nearX && !nearY)) {
        const double x0 = xm + (vx0 - xm) * k;
        const double x1 = xm + (vx1 - xm) * k;
        if (usableRange(x0, x1))
            setXRange(x0, x1);
    }
    if (!(nearY && !nearX)) {
        const double y0 = ym + (vy0 - ym) * k;
        const double y1 = ym + (vy1 - ym) * k;
        if (usableRange(y0, y1))
            setYRange(y0, y1);
    }
    emit updated();
}

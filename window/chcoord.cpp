// SPDX-License-Identifier: GPL-3.0-or-later
#include "chcoord.h"

#include "mousec.h"

#include <QtGlobal>

#include <cmath>

namespace {

// A range the mapping can divide by: finite ends that differ.
bool usableRange(double v0, double v1)
{
    return std::isfinite(v0) && std::isfinite(v1) && v0 != v1;
}

bool blocksGesture(int modifiers)
{
    return modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

// A right-button drag narrower or lower than this is a click, which opens the
// display's menu, and not a rectangle to zoom into.
constexpr int minZoomPixels = 3;

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
            userRange = true;
        }
        if (usableRange(vy0 + dy, vy1 + dy)) {
            vy0 += dy;
            vy1 += dy;
            userRange = true;
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
        const bool dragged = std::fabs(rx - lx) >= minZoomPixels
                && std::fabs(ry - ly) >= minZoomPixels;
        if (dragged && usableRange(x0, x1) && usableRange(y0, y1)) {
            setValueRange(x0, y0, x1, y1);
            userRange = true;
        }
    }
    emit updated();
}

void ChCoord::mDClicked()
{
    userRange = false;
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
        if (usableRange(x0, x1)) {
            setXRange(x0, x1);
            userRange = true;
        }
    }
    if (!(nearY && !nearX)) {
        const double y0 = ym + (vy0 - ym) * k;
        const double y1 = ym + (vy1 - ym) * k;
        if (usableRange(y0, y1)) {
            setYRange(y0, y1);
            userRange = true;
        }
    }
    emit updated();
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "chartmapping.h"

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

} // namespace

void ChartMapping::setPixelRect(double x0, double y0, double x1, double y1)
{
    wx0 = x0;
    wy0 = y0;
    wx1 = x1;
    wy1 = y1;
    setPlotRect(x0, y0, x1, y1);
}

void ChartMapping::setPlotRect(double x0, double y0, double x1, double y1)
{
    px0 = x0;
    py0 = y0;
    px1 = x1;
    py1 = y1;
}

void ChartMapping::applyMargins()
{
    // Whole pixels, so that axes drawn at the plot edges stay sharp.
    px0 = wx0 + qint32(marginX0 * (wx1 - wx0));
    px1 = wx1 - qint32((wx1 - wx0) * marginX1);
    py0 = wy0 + qint32(marginY0 * (wy1 - wy0));
    py1 = wy1 - qint32((wy1 - wy0) * marginY1);
}

void ChartMapping::setValueRange(double x0, double y0, double x1, double y1)
{
    setXRange(x0, x1);
    setYRange(y0, y1);
}

void ChartMapping::setXRange(double x0, double x1)
{
    savedVx0 = vx0 = x0;
    savedVx1 = vx1 = x1;
    xRangeSet = true;
}

void ChartMapping::setYRange(double y0, double y1)
{
    savedVy0 = vy0 = y0;
    savedVy1 = vy1 = y1;
    yRangeSet = true;
}

double ChartMapping::xToPixel(double x) const
{
    return px0 + (x - vx0) * ((px1 - px0) / (vx1 - vx0));
}

double ChartMapping::yToPixel(double y) const
{
    return py0 + (y - vy0) * ((py1 - py0) / (vy1 - vy0));
}

double ChartMapping::pixelToX(double p) const
{
    return vx0 + (p - px0) * ((vx1 - vx0) / (px1 - px0));
}

double ChartMapping::pixelToY(double p) const
{
    return vy0 + (p - py0) * ((vy1 - vy0) / (py1 - py0));
}

double ChartMapping::pixelToXClamped(double p) const
{
    return qBound(qMin(vx0, vx1), pixelToX(p), qMax(vx0, vx1));
}

double ChartMapping::pixelToYClamped(double p) const
{
    return qBound(qMin(vy0, vy1), pixelToY(p), qMax(vy0, vy1));
}

double ChartMapping::pixelToXRelative(double p) const
{
    return (vx1 - vx0) / (px1 - px0) * (p - px0);
}

double ChartMapping::pixelToYRelative(double p) const
{
    return (vy1 - vy0) / (py1 - py0) * (p - py0);
}

double ChartMapping::xLengthToPixels(double d) const
{
    return (px1 - px0) / (vx1 - vx0) * d;
}

double ChartMapping::yLengthToPixels(double d) const
{
    return (py1 - py0) / (vy1 - vy0) * d;
}

double ChartMapping::pixelsToXLength(double d) const
{
    return (vx1 - vx0) / (px1 - px0) * d;
}

double ChartMapping::pixelsToYLength(double d) const
{
    return (vy1 - vy0) / (py1 - py0) * d;
}

bool ChartMapping::nearPlotXEdge(double p) const
{
    return nearEdge(p, px0, px1, plotEdge);
}

bool ChartMapping::nearPlotYEdge(double p) const
{
    return nearEdge(p, py0, py1, plotEdge);
}

bool ChartMapping::nearWidgetXEdge(double p) const
{
    return nearEdge(p, wx0, wx1, widgetEdge);
}

bool ChartMapping::nearWidgetYEdge(double p) const
{
    return nearEdge(p, wy0, wy1, widgetEdge);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The value-to-pixel mapping of one plot: the widget area and the plot area in
// pixels, and the value range that the plot area shows. Start and end of a
// range are not min and max: either orientation works, and the displays run y
// from their bottom edge up to their top edge.
struct ChartMapping
{
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

    bool xRangeSet = false;
    bool yRangeSet = false;
    double wx0 = 0, wx1 = 1;
    double wy0 = 0, wy1 = 1;
    double px0 = 0, px1 = 1;
    double py0 = 0, py1 = 1;
    double vx0 = 0, vx1 = 1;
    double vy0 = 0, vy1 = 1;
    // The range as last set or zoomed; a pan leaves it alone.
    double savedVx0 = 0, savedVx1 = 0, savedVy0 = 0, savedVy1 = 0;
    double widgetEdge = 0.1;
    double plotEdge = 0.1;
    double marginX0 = 0.1;
    double marginX1 = 0.05;
    double marginY1 = 0.05;
    double marginY0 = 0.1;
};
